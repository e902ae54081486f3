#include "app/shell/AdbProcesses.h"

#include <QDir>
#include <QFile>
#include <csignal>

namespace orv::adb_processes {

namespace {
std::function<void()>& replacement()
{
    static std::function<void()> killer;
    return killer;
}
}  // namespace

std::vector<pid_t> find()
{
    std::vector<pid_t> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool number = false;
        const pid_t pid = entry.toInt(&number);
        if (!number)
            continue;
        QFile comm(QStringLiteral("/proc/%1/comm").arg(entry));
        if (!comm.open(QIODevice::ReadOnly))
            continue;
        if (QString::fromLocal8Bit(comm.readAll()).trimmed().compare(QLatin1String("adb"), Qt::CaseInsensitive) == 0)
            found.push_back(pid);
    }
    return found;
}

void killAll()
{
    if (replacement())
        return replacement()();
    for (pid_t pid : find())
        ::kill(pid, SIGKILL);
}

void setKiller(std::function<void()> killer) { replacement() = std::move(killer); }

}  // namespace orv::adb_processes
