#include "app/toolkit/ApplicationImages.h"

#include "app/toolkit/InstalledProvider.h"

namespace orv {

namespace {

InstalledProvider<NamedImageProvider>& provider()
{
    static InstalledProvider<NamedImageProvider> installed;
    return installed;
}

}  // namespace

void setNamedImageProvider(NamedImageProvider lookup) { provider().install(std::move(lookup)); }

QImage namedImage(const QString& name)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return {};
    if (const NamedImageProvider lookup = provider().current())
        return lookup(name);
    return QImage(QStringLiteral(":/images/%1.png").arg(name));
}

}  // namespace orv
