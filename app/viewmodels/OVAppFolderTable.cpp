#include "app/viewmodels/OVAppFolderTable.h"

#include <QSettings>
#include <mutex>

namespace orv {

namespace {

struct Table {
    std::mutex mutex;
    QHash<QString, OVAppFolderTable::Entry> entries;
    std::function<bool()> connectionCheck;
    QString iconServer;
};

Table& table()
{
    static Table shared;
    return shared;
}

}  // namespace

void OVAppFolderTable::setEntries(QHash<QString, Entry> entries)
{
    QHash<QString, Entry> lowered;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it)
        lowered.insert(it.key().toLower(), it.value());
    std::lock_guard lock(table().mutex);
    table().entries = std::move(lowered);
}

OVAppFolderTable::Entry OVAppFolderTable::entry(const QString& rootRelativePath)
{
    std::lock_guard lock(table().mutex);
    return table().entries.value(rootRelativePath.toLower());
}

void OVAppFolderTable::setConnectionCheck(std::function<bool()> check)
{
    std::lock_guard lock(table().mutex);
    table().connectionCheck = std::move(check);
}

bool OVAppFolderTable::connectionOK()
{
    std::function<bool()> check;
    {
        std::lock_guard lock(table().mutex);
        check = table().connectionCheck;
    }
    return !check || check();
}

}  // namespace orv

namespace orv {

void OVAppFolderTable::setIconServer(const QString& baseUrl)
{
    std::lock_guard lock(table().mutex);
    table().iconServer = baseUrl;
}

QString OVAppFolderTable::iconServer()
{
    {
        std::lock_guard lock(table().mutex);
        if (!table().iconServer.isEmpty())
            return table().iconServer;
    }
    return QSettings().value(QStringLiteral("AppIconServer"), QStringLiteral("https://icons.kestrana.com")).toString();
}

}  // namespace orv
