#include "app/shell/ProcessList.h"

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace orv {

namespace {

QString readFirstLine(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readLine()).trimmed();
}

std::optional<uid_t> realUserId(const QString& statusPath)
{
    QFile file(statusPath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // /proc files report no size, so read until the read comes back empty.
    const QByteArray text = file.readAll();
    for (const QByteArray& line : text.split('\n')) {
        if (line.startsWith("Uid:")) {
            const QList<QByteArray> fields = line.mid(4).simplified().split(' ');
            bool ok = false;
            const uint id = fields.value(0).toUInt(&ok);
            return ok ? std::optional<uid_t>(id) : std::nullopt;
        }
    }
    return std::nullopt;
}

QString userNameOf(uid_t id)
{
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(id, &entry, buffer, sizeof buffer, &found) != 0 || !found)
        return {};
    return QString::fromLocal8Bit(found->pw_name);
}

}  // namespace

std::vector<ProcessEntry> getBSDProcessList()
{
    std::vector<ProcessEntry> list;
    const QStringList names = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        bool numeric = false;
        const pid_t pid = static_cast<pid_t>(name.toInt(&numeric));
        if (!numeric || pid <= 0)
            continue;
        const QString base = QStringLiteral("/proc/") + name;
        ProcessEntry entry;
        entry.processID = pid;
        entry.processName = readFirstLine(base + QStringLiteral("/comm"));
        if (entry.processName.isEmpty() && !QFileInfo::exists(base))
            continue;  // ended meanwhile
        entry.userID = realUserId(base + QStringLiteral("/status"));
        if (entry.userID)
            entry.userName = userNameOf(*entry.userID);
        entry.executable = QFile::symLinkTarget(base + QStringLiteral("/exe"));
        list.push_back(std::move(entry));
    }
    return list;
}

int killProcessesOfExecutable(const QString& executable)
{
    if (executable.isEmpty())
        return 0;
    const QString wanted = QFileInfo(executable).canonicalFilePath();
    if (wanted.isEmpty())
        return 0;
    const uid_t me = ::getuid();
    const pid_t self = ::getpid();
    int killed = 0;
    for (const ProcessEntry& entry : getBSDProcessList()) {
        if (entry.processID == self || entry.userID != me || entry.executable.isEmpty())
            continue;
        if (QFileInfo(entry.executable).canonicalFilePath() != wanted)
            continue;
        if (::kill(entry.processID, SIGKILL) == 0)
            ++killed;
    }
    return killed;
}

}  // namespace orv
