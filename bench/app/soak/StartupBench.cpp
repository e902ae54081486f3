// Start-up cost: from launching the application with a phone named on its
// command line to the phone's window showing the phone's name (the
// application in this process, the phone simulated), against a bare Qt
// program started as a process of its own until its window shows, run after
// run alternately. Prints the medians and their ratio.
//
//   bench_startup [runs]     (default 5; offscreen)
//   bench_startup --bare     (the bare program: shows a window, then exits)

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/shell/MainRunLoopDriver.h"
#include "app/shell/OVLeftDeviceView.h"
#include "app/shell/OVLeftSidebarView.h"
#include "tests/app/shell/RunningApp.h"

using namespace orv;
using namespace std::chrono_literals;

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Milliseconds from launch to the window's card naming the phone; negative on failure.
double applicationRun()
{
    phonesim::Options phones;
    test::RunningApp app(phones, {QStringLiteral("Orvane"), QStringLiteral("-s"), QStringLiteral("SIMPHONE01:0:0")});
    QElapsedTimer clock;
    clock.start();
    if (!app.launch())
        return -1;
    OVMainWindowController* window = app.loadedWindow("SIMPHONE01");
    const bool named = window && test::qtWaitUntil([&] {
        return window->window()->isVisible() && !window->sidebar()->deviceView()->deviceName().isEmpty();
    }, 60s);
    return named ? double(clock.nsecsElapsed()) / 1e6 : -1;
}

// The bare program: a window shown and exposed, then the end.
int bareProgram()
{
    QWidget window;
    window.resize(1035, 685);
    window.show();
    return test::qtWaitUntil([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }, 10s) ? 0 : 1;
}

// Milliseconds from starting the bare program to its end; negative on failure.
double bareRun(const QString& self)
{
    QElapsedTimer clock;
    clock.start();
    QProcess bare;
    bare.start(self, {QStringLiteral("--bare")});
    if (!bare.waitForFinished(30000) || bare.exitCode() != 0)
        return -1;
    return double(clock.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qt(argc, argv);
    if (argc > 1 && QByteArray(argv[1]) == "--bare")
        return bareProgram();
    MainRunLoopDriver driver(RunLoop::main());
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<double> application;
    std::vector<double> bare;
    for (int i = 0; i < runs; ++i) {
        const double ms = applicationRun();
        if (ms < 0) {
            std::fprintf(stderr, "run %d: the phone's window did not show its name\n", i);
            return 1;
        }
        application.push_back(ms);
        const double bareMs = bareRun(QCoreApplication::applicationFilePath());
        if (bareMs < 0) {
            std::fprintf(stderr, "run %d: the bare program failed\n", i);
            return 1;
        }
        bare.push_back(bareMs);
    }
    const double a = median(application);
    const double b = median(bare);
    std::printf("launch to the phone's name: median %.1f ms; bare window program: median %.1f ms; ratio %.1f\n", a, b,
                b > 0 ? a / b : 0.0);
    return 0;
}
