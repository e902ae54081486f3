#include "app/viewmodels/SizeText.h"

#include "core/bridge/facade/OVLocalization.h"

namespace orv::size_text {

QString formatFromByteSize(uint64_t bytes)
{
    auto text = [](const char* key) { return QString::fromStdString(localizedString(key, key)); };
    if (bytes == 1)
        return QStringLiteral("1 byte");
    if (bytes < 1024)
        return QStringLiteral("%1 %2").arg(bytes).arg(text("bytes"));
    const struct {
        const char* unit;
        int decimals;
    } units[] = {{"KB", 0}, {"MB", 1}, {"GB", 2}, {"TB", 3}};
    double value = double(bytes) / 1024.0;
    for (size_t i = 0; i < std::size(units); ++i) {
        if (value < 1024.0 || i + 1 == std::size(units))
            return QStringLiteral("%1 %2").arg(value, 0, 'f', units[i].decimals).arg(text(units[i].unit));
        value /= 1024.0;
    }
    return {};
}

}  // namespace orv::size_text
