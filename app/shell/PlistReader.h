#pragma once
// Reads a property-list file (XML or binary) into QVariant values: dict ->
// QVariantMap, array -> QVariantList, string, integer, real, bool, date,
// data. An unreadable or malformed file gives an invalid QVariant.

#include <QString>
#include <QVariant>

namespace orv {

QVariant readPlistFile(const QString& path);

}  // namespace orv
