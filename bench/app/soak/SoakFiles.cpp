// A soak run of the whole application against the simulated phone: plug,
// load, list, import, export, delete, unplug, replug - over and over for the
// given minutes. Every minute it prints the process's resident memory, the
// heap its allocations hold, threads, open descriptors, child processes and
// widgets, so a leak of any of them shows as a slope after the first minutes.
//
//   soak_files [minutes]     (default 60; offscreen, no display needed)

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <string>
#include <unistd.h>

#include "app/panes/FilePaneRegistration.h"
#include "app/panes/OVFileViewController.h"
#include "app/shell/MainRunLoopDriver.h"
#include "app/shell/PaneFactoryRegistry.h"
#include "app/toolkit/IBCollectionView.h"
#include "tests/app/journeys/JourneySupport.h"
#include "tests/app/shell/RunningApp.h"

using namespace orv;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr uintmax_t kFileSize = 2 * 1024 * 1024;

long statusField(const char* name)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(name) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0)
            return std::stol(line.substr(prefix.size()));
    return -1;
}

long countEntries(const char* folder)
{
    std::error_code error;
    long count = 0;
    for (auto it = fs::directory_iterator(folder, error); !error && it != fs::directory_iterator(); it.increment(error))
        ++count;
    return count;
}

// Processes whose parent is this one (the simulator among them).
long childProcesses()
{
    const pid_t self = ::getpid();
    long count = 0;
    std::error_code error;
    for (auto it = fs::directory_iterator("/proc", error); !error && it != fs::directory_iterator(); it.increment(error)) {
        std::ifstream stat(it->path() / "stat");
        std::string text;
        if (!std::getline(stat, text))
            continue;
        const size_t close = text.rfind(')');
        if (close == std::string::npos)
            continue;
        int ppid = 0;
        char state = 0;
        if (std::sscanf(text.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == self)
            ++count;
    }
    return count;
}

// Resident memory counts what the allocator keeps as well as what is in use;
// "heap" is what the program's allocations hold, so a rise in resident memory
// with a flat heap is the allocator's, not a leak.
void report(int minute, int rounds)
{
    const long heapKb = static_cast<long>(::mallinfo2().uordblks / 1024);
    std::printf("minute %3d  rounds %5d  rss %7ld kB  heap %7ld kB  threads %3ld  descriptors %4ld  children %2ld"
                "  widgets %4lld\n",
                minute, rounds, statusField("VmRSS"), heapKb, statusField("Threads"), countEntries("/proc/self/fd"),
                childProcesses(), static_cast<long long>(QApplication::allWidgets().size()));
    std::fflush(stdout);
}

bool fail(const char* step)
{
    std::fprintf(stderr, "soak: %s\n", step);
    return false;
}

// One round: plug, load, list, import, export, delete, unplug, replug. Each
// step is checked by what the phone and the computer hold afterwards.
bool round(test::RunningApp& app, test::ScriptedDialogs& dialogs, const QString& local)
{
    const std::string serial = app.sim().serial();
    const fs::path onPhone = app.sim().phoneRoot(serial) / "soak.bin";
    const auto usb = test::RunningApp::usbFacts(serial, 3, 9);
    app.usb().plug(usb);
    OVMainWindowController* window = app.loadedWindow(serial);
    if (!window)
        return fail("the phone's window did not load");
    window->switchToView(4);
    auto* pane = dynamic_cast<OVFileViewController*>(window->pane(4));
    if (!pane || !test::qtWaitUntil([&] { return !pane->items().empty(); }, 60s))
        return fail("the Files pane listed nothing");
    dialogs.importPaths = {local + QStringLiteral("/soak.bin")};
    pane->importAction(false);
    if (!test::qtWaitUntil([&] { return !pane->isTransferRunning(); }, 120s))
        return fail("the import did not end");
    std::error_code error;
    if (fs::file_size(onPhone, error) != kFileSize)
        return fail("the import did not reach the phone");
    if (!test::selectOnceListed(*pane, QStringLiteral("soak.bin")))
        return fail("the imported file is not listed");
    const QString out = local + QStringLiteral("/out");
    QDir(out).removeRecursively();
    QDir().mkpath(out);
    dialogs.exportFolder = out;
    pane->exportAction();
    if (!test::qtWaitUntil([&] { return !pane->isTransferRunning(); }, 120s))
        return fail("the export did not end");
    if (QFileInfo(out + QStringLiteral("/soak.bin")).size() != static_cast<qint64>(kFileSize))
        return fail("the export did not reach the computer");
    if (!test::selectOnceListed(*pane, QStringLiteral("soak.bin")))
        return fail("the exported file is not listed");
    pane->deleteAction();
    if (!test::qtWaitUntil([&] { return !pane->isTransferRunning() && !fs::exists(onPhone, error); }, 120s))
        return fail("the delete did not remove the file");
    app.sim().unplug(serial);
    app.usb().unplug(usb);
    if (!test::qtWaitUntil([&] { return app.delegate().allControllers().empty(); }, 60s))
        return fail("the window did not close on unplug");
    app.sim().replug(serial);
    // What the fakes record would grow with the rounds and read as a leak.
    dialogs.clashes.clear();
    dialogs.deleteQuestions.clear();
    dialogs.messages.clear();
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qt(argc, argv);
    // Replies posted to the main queue arrive through Qt's event loop.
    MainRunLoopDriver driver(RunLoop::main());
    const int minutes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    registerFilePanes(PaneFactoryRegistry::shared());

    test::PaneSeams seams;
    QTemporaryDir local;
    {
        QFile file(local.filePath(QStringLiteral("soak.bin")));
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write(QByteArray(kFileSize, 's'));
    }

    int rounds = 0;
    int failures = 0;
    {
        test::RunningApp app;
        if (!app.launch())
            return 1;
        QElapsedTimer clock;
        clock.start();
        int minute = 0;
        report(minute, rounds);
        while (clock.elapsed() < minutes * 60000LL) {
            if (round(app, seams.dialogs, local.path()))
                ++rounds;
            else
                ++failures;
            seams.sounds.played.clear();
            if (clock.elapsed() >= (minute + 1) * 60000LL)
                report(++minute, rounds);
        }
    }
    std::printf("done: %d rounds, %d failed\n", rounds, failures);
    return failures == 0 ? 0 : 1;
}
