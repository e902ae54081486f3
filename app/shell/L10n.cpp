#include "app/shell/L10n.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QReadWriteLock>
#include <optional>

#include "app/toolkit/ToolkitText.h"
#include "core/bridge/facade/OVLocalization.h"
#include "usbwatch/ProgramPaths.h"

namespace orv {

namespace {

QReadWriteLock tableLock;
QHash<QString, QString>& table()
{
    static QHash<QString, QString> entries;
    return entries;
}

std::optional<QString> lookup(const QString& key)
{
    QReadLocker lock(&tableLock);
    auto found = table().constFind(key);
    if (found == table().constEnd())
        return std::nullopt;
    return *found;
}

}  // namespace

QString L10n::text(const QString& key) { return lookup(key).value_or(key); }

QString L10n::format(const QString& key, const QStringList& arguments)
{
    const QString pattern = text(key);
    QString result;
    qsizetype from = 0;
    qsizetype next = 0;
    for (;;) {
        const qsizetype at = pattern.indexOf(QLatin1String("%@"), from);
        if (at < 0 || next >= arguments.size())
            break;
        result += pattern.mid(from, at - from) + arguments[next++];
        from = at + 2;
    }
    return result + pattern.mid(from);
}

bool L10n::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    QHash<QString, QString> entries;
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!it.value().isString())
            return false;
        entries.insert(it.key(), it.value().toString());
    }
    setTable(std::move(entries));
    return true;
}

bool L10n::install()
{
    const bool loaded = load(defaultTablePath());
    setLocalizedStringProvider([](const std::string& key) -> std::optional<std::string> {
        if (auto found = lookup(QString::fromStdString(key)))
            return found->toStdString();
        return std::nullopt;
    });
    // The toolkit shows words of its own (the loading cover, units, months) through its own hook.
    setLocalizedTextProvider([](const QString& key) { return lookup(key).value_or(QString()); });
    return loaded;
}

void L10n::setTable(QHash<QString, QString> entries)
{
    QWriteLocker lock(&tableLock);
    table() = std::move(entries);
}

QString L10n::defaultTablePath()
{
    return QString::fromStdString((usb::resourceDirectory() / "Localizable.json").string());
}

}  // namespace orv
