#include "app/toolkit/ToolkitText.h"

#include "app/toolkit/InstalledProvider.h"

namespace orv {

namespace {

InstalledProvider<LocalizedTextProvider>& provider()
{
    static InstalledProvider<LocalizedTextProvider> installed;
    return installed;
}

}  // namespace

void setLocalizedTextProvider(LocalizedTextProvider lookup) { provider().install(std::move(lookup)); }

QString localizedText(const QString& key)
{
    const LocalizedTextProvider lookup = provider().current();
    if (!lookup)
        return key;
    const QString text = lookup(key);
    return text.isNull() ? key : text;
}

}  // namespace orv
