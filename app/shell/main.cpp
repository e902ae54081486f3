// Orvane: starts Qt, attaches the main run loop (and with it the main queue)
// to Qt's event loop and hands over to the application delegate, which runs
// the launch sequence. The application keeps running without windows; it
// quits from its menu, on SIGTERM / SIGINT (through the event loop, so the
// termination step runs) or when asked below.
//
// --quit-after-start: quit from a main-queue block as soon as the event loop
// runs, to check that the program starts and stops cleanly.

#include <QApplication>
#include <csignal>

#include "app/media/MediaPaneRegistration.h"
#include "app/panes/FilePaneRegistration.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/ApplicationQuit.h"
#include "app/shell/CrashHandlers.h"
#include "app/shell/L10n.h"
#include "app/shell/MainRunLoopDriver.h"
#include "app/shell/OVMainWindowController.h"
#include "app/shell/PaneFactoryRegistry.h"
#include "app/shell/Prefs.h"
#include "app/shell/TerminationSignals.h"
#include "platform/Dispatch.h"
#include "platform/RunLoop.h"

int main(int argc, char* argv[])
{
    orv::crash_handlers::ignoreBrokenPipes();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvane"));
    QApplication::setOrganizationName(QStringLiteral("Orvane"));
    // Ties the windows to the installed desktop entry (its name and icon).
    QApplication::setDesktopFileName(QStringLiteral("orvane"));
    QApplication::setQuitOnLastWindowClosed(false);
    orv::Prefs::registerUserDefaults();
    orv::L10n::install();

    orv::MainRunLoopDriver driver(orv::RunLoop::main());
    orv::registerFilePanes(orv::PaneFactoryRegistry::shared());
    orv::registerMediaPanes(orv::PaneFactoryRegistry::shared());

    // Terminate and interrupt end the program through its event loop (so the
    // termination step runs); the crash handlers leave them alone.
    orv::TerminationSignals termination;
    bool quitRequested = false;
    QObject::connect(&termination, &orv::TerminationSignals::received, &app, [&quitRequested] {
        quitRequested = true;
        orv::quitApplication();
    });

    orv::AppDelegate::Environment environment;
    environment.signalsQuitCleanly = {SIGTERM, SIGINT};
    environment.windowFactory = orv::OVMainWindowController::factory();
    orv::AppDelegate delegate(std::move(environment));
    if (delegate.applicationDidFinishLaunching() == orv::AppDelegate::LaunchResult::AnotherCopyRunning)
        return 0;
    if (quitRequested) {  // during a question asked while launching
        delegate.applicationWillTerminate();
        return 0;
    }
    QObject::connect(&app, &QApplication::aboutToQuit, &delegate, [&delegate] { delegate.applicationWillTerminate(); });

    if (QApplication::arguments().contains(QStringLiteral("--quit-after-start")))
        orv::dispatch::Queue::main()->async([] { orv::quitApplication(); });

    return QApplication::exec();
}
