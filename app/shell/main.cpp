// Orvane: starts Qt, attaches the main run loop (and with it the main queue)
// to Qt's event loop, shows the main window and quits cleanly when the window
// closes or on SIGTERM / SIGINT.
//
// --quit-after-start: close the window from a main-queue block as soon as the
// event loop runs, to check that the program starts and stops cleanly.

#include <QApplication>
#include <QMainWindow>

#include "app/shell/L10n.h"
#include "app/shell/MainRunLoopDriver.h"
#include "app/shell/Prefs.h"
#include "app/shell/TerminationSignals.h"
#include "platform/Dispatch.h"
#include "platform/RunLoop.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvane"));
    QApplication::setOrganizationName(QStringLiteral("Orvane"));
    orv::Prefs::registerUserDefaults();
    orv::L10n::install();

    orv::TerminationSignals termination;
    QObject::connect(&termination, &orv::TerminationSignals::received, &app, [] { QApplication::quit(); });

    orv::MainRunLoopDriver driver(orv::RunLoop::main());

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Orvane"));
    window.resize(960, 640);
    window.show();

    if (QApplication::arguments().contains(QStringLiteral("--quit-after-start")))
        orv::dispatch::Queue::main()->async([&window] { window.close(); });

    return QApplication::exec();
}
