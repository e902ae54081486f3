#pragma once
// Which desktop applications open a file, and launching them: the default
// application and every application registered for the file's content type
// (guessed from its name), through GIO. Tests install a recorder.

#include <QString>
#include <optional>
#include <vector>

namespace orv {

class AppLauncher {
public:
    struct Application {
        QString id;        // desktop-file id, e.g. "org.example.Viewer.desktop"
        QString name;      // the name to show
        QString iconName;  // icon-theme name or icon file path; may be empty
    };

    virtual ~AppLauncher() = default;

    // The application the desktop opens files named like `fileName` with.
    virtual std::optional<Application> defaultApplicationFor(const QString& fileName) = 0;
    // Every application for that type, the default first, each once.
    virtual std::vector<Application> applicationsFor(const QString& fileName) = 0;
    // Opens the local file with its default application; false when none did.
    virtual bool open(const QString& path) = 0;
    // Opens the local file with the application `id`; an id that names no
    // installed application falls back to the default one.
    virtual bool openWith(const QString& path, const QString& id) = 0;

    // The current implementation (the application's unless replaced).
    static AppLauncher& current();
    // Replaces it; null restores the application's. Not owned.
    static void setCurrent(AppLauncher* launcher);
};

}  // namespace orv
