#include "app/shell/AppIconTable.h"

#include <QSet>

#include "app/shell/PlistReader.h"

namespace orv {

QHash<QString, QVariantMap> appIconTableFrom(const QVariant& resource)
{
    QHash<QString, QVariantMap> table;
    if (resource.typeId() != QMetaType::QVariantList)
        return table;
    QSet<QString> duplicates;
    for (const QVariant& itemValue : resource.toList()) {
        const QVariantMap item = itemValue.toMap();
        if (item.contains(QStringLiteral("noicon")))
            continue;
        for (const QVariant& pathValue : item.value(QStringLiteral("path")).toList()) {
            if (pathValue.typeId() != QMetaType::QString)
                continue;
            const QString key = pathValue.toString().toLower().trimmed();
            if (table.contains(key))
                duplicates.insert(key);
            else
                table.insert(key, item);
        }
    }
    for (const QString& key : duplicates)
        table.remove(key);
    return table;
}

QHash<QString, QVariantMap> loadAppIcon(const QString& plistPath)
{
    return appIconTableFrom(readPlistFile(plistPath));
}

}  // namespace orv
