#pragma once
// The login item of the agent, as an XDG autostart entry in the user's
// autostart folder. An entry belongs to the agent when the program of its Exec
// line is called OrvaneAgent, whichever install it points at. Changes to the
// folder (by us or by the desktop's settings) emit launchAtLoginChanged().

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QStringList>

namespace orv {

class LaunchAtLoginController : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kAgentProgramName = "OrvaneAgent";
    static constexpr const char* kEntryFileName = "orvane-agent.desktop";

    // $XDG_CONFIG_HOME/autostart (else ~/.config/autostart).
    static QString defaultAutostartFolder();

    // Creates the folder when missing so that it can be watched.
    explicit LaunchAtLoginController(QString autostartFolder = defaultAutostartFolder(), QObject* parent = nullptr);

    bool hide() const { return hide_; }
    void setHide(bool value) { hide_ = value; }
    // The agent program to register.
    QString appURL() const { return appURL_; }
    void setAppURL(const QString& value) { appURL_ = value; }
    QString autostartFolder() const { return folder_; }

    // The entry file whose program is `program` (compared as resolved paths),
    // or empty.
    QString findItemWithURL(const QString& program) const;
    bool willLaunchAtLogin(const QString& program) const { return !findItemWithURL(program).isEmpty(); }
    bool launchAtLogin() const { return willLaunchAtLogin(appURL_); }
    void setLaunchAtLogin(bool enabled);
    // Removes every agent entry, then writes one for `program` when enabling.
    void setLaunchAtLogin(bool enabled, const QString& program);
    // Removes every agent entry.
    void deleteAllOtherItem();
    // The files of the folder that belong to the agent.
    QStringList agentItems() const;

    // The program an entry's Exec line starts (first word, quotes removed).
    static QString programOfEntry(const QString& entryPath);

signals:
    void launchAtLoginChanged();

private:
    QString folder_;
    QString appURL_;
    bool hide_ = false;
    QFileSystemWatcher watcher_;
};

}  // namespace orv
