#include "app/shell/LaunchAtLoginController.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace orv {

namespace {

QString resolved(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

// Desktop-entry quoting: a path with blanks or quotes goes in double quotes
// with '"', '`', '$' and '\\' escaped.
QString quotedExec(const QString& program)
{
    QString escaped;
    for (QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            escaped += u'\\';
        escaped += c;
    }
    return u'"' + escaped + u'"';
}

}  // namespace

QString LaunchAtLoginController::defaultAutostartFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::ConfigLocation)).filePath(QStringLiteral("autostart"));
}

LaunchAtLoginController::LaunchAtLoginController(QString autostartFolder, QObject* parent)
    : QObject(parent), folder_(std::move(autostartFolder))
{
    QDir().mkpath(folder_);
    watcher_.addPath(folder_);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { emit launchAtLoginChanged(); });
}

QString LaunchAtLoginController::programOfEntry(const QString& entryPath)
{
    QFile file(entryPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inMainGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMainGroup || !line.startsWith(QLatin1String("Exec=")))
            continue;
        const QString exec = line.mid(5).trimmed();
        if (!exec.startsWith(u'"'))
            return exec.section(u' ', 0, 0);
        QString program;
        for (qsizetype i = 1; i < exec.size(); ++i) {
            if (exec[i] == u'\\' && i + 1 < exec.size()) {
                program += exec[++i];
            } else if (exec[i] == u'"') {
                break;
            } else {
                program += exec[i];
            }
        }
        return program;
    }
    return {};
}

QStringList LaunchAtLoginController::agentItems() const
{
    QStringList items;
    const QDir dir(folder_);
    for (const QString& name : dir.entryList({QStringLiteral("*.desktop")}, QDir::Files)) {
        const QString path = dir.filePath(name);
        if (QFileInfo(programOfEntry(path)).fileName() == QLatin1String(kAgentProgramName))
            items << path;
    }
    return items;
}

QString LaunchAtLoginController::findItemWithURL(const QString& program) const
{
    if (program.isEmpty())
        return {};
    const QString wanted = resolved(program);
    const QDir dir(folder_);
    for (const QString& name : dir.entryList({QStringLiteral("*.desktop")}, QDir::Files)) {
        const QString path = dir.filePath(name);
        const QString entryProgram = programOfEntry(path);
        if (!entryProgram.isEmpty() && resolved(entryProgram) == wanted)
            return path;
    }
    return {};
}

void LaunchAtLoginController::setLaunchAtLogin(bool enabled)
{
    setLaunchAtLogin(enabled, appURL_);
    emit launchAtLoginChanged();
}

void LaunchAtLoginController::deleteAllOtherItem()
{
    for (const QString& item : agentItems())
        QFile::remove(item);
}

void LaunchAtLoginController::setLaunchAtLogin(bool enabled, const QString& program)
{
    deleteAllOtherItem();
    const QString existing = findItemWithURL(program);
    if (enabled && existing.isEmpty() && !program.isEmpty()) {
        QDir().mkpath(folder_);
        QSaveFile file(QDir(folder_).filePath(QLatin1String(kEntryFileName)));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
            return;
        QByteArray text = "[Desktop Entry]\nType=Application\nName=OrvaneAgent\n";
        text += "Exec=" + quotedExec(program).toUtf8() + "\n";
        text += "X-GNOME-Autostart-enabled=true\n";
        // Not listed in menus; "Hidden" would mean the entry is switched off.
        if (hide_)
            text += "NoDisplay=true\n";
        file.write(text);
        file.commit();
    } else if (!enabled && !existing.isEmpty()) {
        QFile::remove(existing);
    }
}

}  // namespace orv
