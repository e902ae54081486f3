// A second copy of Orvane started while the first copies a file onto the
// phone: the second says why it quits and ends, and takes nothing from the
// first on its way. The first copy runs in the test's process (the test
// drives its import); the second is the real program, sharing the first's
// runtime folder (the one-copy lock) and a resource folder whose adb resource
// is at work, which a copy that went on to run would end.

#include <gtest/gtest.h>
#include <signal.h>

#include <QTemporaryDir>

#include "JourneySupport.h"
#include "tests/app/RunningProgram.h"
#include "tests/app/shell/RunningApp.h"

namespace orv {
namespace {

using namespace std::chrono_literals;
using namespace test;

TEST(SecondCopy, IsTurnedAwayWhileTheFirstCopysImportRunsOn)
{
    prepareApplication();
    PaneSeams seams;
    RunningApp first;
    QTemporaryDir local;
    ASSERT_TRUE(first.launch());
    const std::string serial = first.sim().serial();
    first.usb().plug(RunningApp::usbFacts(serial, 3, 9));
    OVMainWindowController* window = first.loadedWindow(serial);
    ASSERT_TRUE(window);
    OVFileViewController* pane = filesPane(*window);
    ASSERT_TRUE(pane);

    // The import holds halfway on the phone while the second copy comes and goes.
    const QByteArray bytes(600 * 1024, 'f');
    ASSERT_TRUE(writeFile(local.filePath(QStringLiteral("first.bin")), bytes));
    first.sim().misbehave(serial, "stall-transfer", true);
    seams.dialogs.importPaths = {local.filePath(QStringLiteral("first.bin"))};
    pane->importAction(false);
    ASSERT_TRUE(qtWaitUntil([&] { return first.sim().log(serial, "adb").dump().find("push") != std::string::npos; },
                            60s));

    QTemporaryDir scratch;
    const std::string resources = copyResources(ORVANE_RESOURCES, scratch.path().toStdString());
    AdbResourceAtWork neighbour(resources + "/adb");
    ASSERT_TRUE(neighbour.started());
    ASSERT_TRUE(neighbour.waitUntilWorking());

    Program second(ORVANE_PROGRAM, {},
                   {"XDG_RUNTIME_DIR=" + first.home().path("runtime").toStdString(),
                    "ORVANE_RESOURCE_DIR=" + resources},
                   {}, Program::Errors::Kept);
    ASSERT_TRUE(second.started());
    // Its alert waits for an answer; meanwhile the first copy runs on.
    const auto saidWhy = [&] { return second.errors().find("another copy is already running") != std::string::npos; };
    ASSERT_TRUE(qtWaitUntil([&] { return saidWhy() || !second.running(); }, 60s));
    ASSERT_TRUE(saidWhy()) << second.errors();
    // Ended as the user's answer would end it, through its event loop.
    ASSERT_EQ(::kill(second.pid(), SIGTERM), 0);
    ASSERT_TRUE(qtWaitUntil([&] { return !second.running(); }, 60s));
    EXPECT_TRUE(exitedCleanly(second.waitForExit(0ms))) << second.errors();
    EXPECT_TRUE(neighbour.running()) << "the refused copy ended an adb resource";

    first.sim().misbehave(serial, "stall-transfer", false);
    ASSERT_TRUE(qtWaitUntil([&] { return !pane->isTransferRunning(); }, 120s));
    EXPECT_EQ(readFile(QString::fromStdString((first.sim().phoneRoot(serial) / "first.bin").string())), bytes);
    EXPECT_TRUE(first.presented().empty());
    EXPECT_EQ(first.delegate().allControllers().size(), 1u);
}

}  // namespace
}  // namespace orv
