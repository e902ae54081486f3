#pragma once
// The localisation table: texts the user sees are looked up by key in
// resources/Localizable.json (a JSON object of key -> text). A key missing
// from the table shows as the key itself. install() also hands the table to
// the device framework and the view models (core's localizedString), so the
// framework's fixed texts reach the user through the same table.

#include <QHash>
#include <QString>
#include <QStringList>

namespace orv {

class L10n {
public:
    // The text for `key`, or `key` when the table has no entry.
    static QString text(const QString& key);
    static QString text(const char* key) { return text(QString::fromUtf8(key)); }
    // text(key) with each "%@" replaced by the next argument, in order.
    static QString format(const QString& key, const QStringList& arguments);

    // Reads a table file; false (and the table left unchanged) when the file
    // is missing or not a JSON object of strings.
    static bool load(const QString& path);
    // Reads Localizable.json from the resource folder, then installs the
    // table as the framework's provider. False when the file could not be read.
    static bool install();
    // Replaces the table (tests, and load()).
    static void setTable(QHash<QString, QString> table);

    // Where install() looks: the programs' resource folder.
    static QString defaultTablePath();
};

}  // namespace orv
