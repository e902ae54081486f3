#pragma once
// The app-folder table built from the "apps" resource (an array of
// dictionaries): each item's "path" strings, lower-cased and trimmed, map to
// the whole item. Items with "noicon" are skipped, and a path listed twice
// (in one item or two) maps to nothing at all.

#include <QHash>
#include <QString>
#include <QVariant>
#include <QVariantMap>

namespace orv {

// The table from an already-read resource (anything but a list gives none).
QHash<QString, QVariantMap> appIconTableFrom(const QVariant& resource);
// The table from the resource file; empty when it is missing or unreadable.
QHash<QString, QVariantMap> loadAppIcon(const QString& plistPath);

}  // namespace orv
