#include "app/shell/ShellLook.h"

#include <QRegularExpression>
#include <algorithm>

namespace orv::shell_look {

QColor hexColor(const QString& hex)
{
    QString digits = hex.startsWith(QLatin1Char('#')) ? hex.mid(1) : hex;
    static const QRegularExpression valid(QStringLiteral("^([0-9a-fA-F]{3}|[0-9a-fA-F]{6})$"));
    if (!valid.match(digits).hasMatch())
        return {};
    if (digits.size() == 3)
        digits = QString(digits[0]) + digits[0] + digits[1] + digits[1] + digits[2] + digits[2];
    return QColor(QLatin1Char('#') + digits);
}

QColor darkenBy(const QColor& color, double amount)
{
    float h = 0, s = 0, v = 0, a = 0;
    color.toHsv().getHsvF(&h, &s, &v, &a);
    const float value = std::clamp(v - static_cast<float>(amount), 0.0f, 1.0f);
    return QColor::fromHsvF(h < 0 ? 0 : h, s, value, a).toRgb();
}

QFont systemFont(int pixelSize, bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("Helvetica Neue"), QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QFont badgeFont() { return systemFont(13, true); }

}  // namespace orv::shell_look
