// The cable comes out at a random moment of each step a user takes in the
// Files pane: entering a folder, importing, exporting, deleting. Whatever
// the moment, the window closes and nothing hangs, and no file stands under
// its final name on either side unless it is whole; plugged again, a new
// window works. The moments come from a seed that is printed; setting
// ORVANE_JOURNEY_SEED replays a run.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>

#include "JourneySupport.h"
#include "tests/app/shell/RunningApp.h"

namespace orv {
namespace {

using namespace std::chrono_literals;
using namespace test;
namespace fs = std::filesystem;

unsigned journeySeed()
{
    if (const char* given = std::getenv("ORVANE_JOURNEY_SEED"))
        return static_cast<unsigned>(std::strtoul(given, nullptr, 10));
    return std::random_device{}();
}

// Absent, or there whole: what a file under its final name may be.
::testing::AssertionResult absentOrWhole(const fs::path& path, const QByteArray& bytes)
{
    if (!fs::exists(path))
        return ::testing::AssertionSuccess();
    const QByteArray held = readFile(QString::fromStdString(path.string()));
    if (held == bytes)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << path << " holds " << held.size() << " of " << bytes.size() << " bytes";
}

TEST(UnplugJourney, AtARandomMomentOfEachStepTheWindowClosesAndNoFileIsLeftHalf)
{
    const unsigned seed = journeySeed();
    std::printf("journey seed %u (ORVANE_JOURNEY_SEED=%u replays it)\n", seed, seed);
    SCOPED_TRACE("ORVANE_JOURNEY_SEED=" + std::to_string(seed));
    std::mt19937 random(seed);

    prepareApplication();
    PaneSeams seams;
    RunningApp app;
    QTemporaryDir local;
    ASSERT_TRUE(app.launch());
    const std::string serial = app.sim().serial();
    const fs::path download = app.sim().phoneRoot(serial) / "Download";
    const auto usb = RunningApp::usbFacts(serial, 3, 9);
    // Paced so that a transfer lasts about half a second: the moments fall
    // before, during and after it.
    const QByteArray bytes(512 * 1024, 'u');
    app.sim().set(serial, "transfer-rate", std::to_string(1024 * 1024));
    ASSERT_TRUE(writeFile(local.filePath(QStringLiteral("in.bin")), bytes));
    ASSERT_TRUE(writeFile(QString::fromStdString((download / "phone.bin").string()), bytes));
    const QString out = local.filePath(QStringLiteral("out"));
    QDir().mkpath(out);
    seams.dialogs.exportFolder = out;
    seams.dialogs.importPaths = {local.filePath(QStringLiteral("in.bin"))};

    struct Step {
        const char* name;
        bool inDownload;      // starts in the Download folder
        bool onPhoneFile;     // with phone.bin selected
        std::function<void(OVFileViewController&)> start;
    };
    const auto openDownload = [](OVFileViewController& pane) {
        for (const auto& model : pane.items())
            if (model->rawfilename() == QLatin1String("Download"))
                pane.doubleClickItem(model);
    };
    const Step steps[] = {
        {"enter a folder", false, false, openDownload},
        {"import", true, false, [](OVFileViewController& pane) { pane.importAction(false); }},
        {"export", true, true, [](OVFileViewController& pane) { pane.exportAction(); }},
        {"delete", true, true, [](OVFileViewController& pane) { pane.deleteAction(); }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        app.usb().plug(usb);
        OVMainWindowController* window = app.loadedWindow(serial);
        ASSERT_TRUE(window);
        OVFileViewController* pane = filesPane(*window);
        ASSERT_TRUE(pane);
        if (step.inDownload) {
            openDownload(*pane);
            ASSERT_TRUE(qtWaitUntil(
                [&] {
                    return pane->currentDirectory() && pane->currentDirectory()->rawfilename() == QLatin1String("Download") &&
                           pane->currentDirectory()->ovfile()->children().has_value();
                },
                60s));
        }
        if (step.onPhoneFile) {
            ASSERT_TRUE(selectOnceListed(*pane, QStringLiteral("phone.bin")));
        }
        step.start(*pane);
        const auto moment = std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 1500)(random));
        qtWaitUntil([] { return false; }, moment);  // the random moment, not a wait for an event

        app.sim().unplug(serial);
        app.usb().unplug(usb);
        ASSERT_TRUE(qtWaitUntil([&] { return app.delegate().allControllers().empty(); }, 60s))
            << "the window stayed " << moment.count() << " ms into the step";
        EXPECT_TRUE(absentOrWhole(download / "in.bin", bytes));
        EXPECT_TRUE(absentOrWhole(download / "phone.bin", bytes));
        EXPECT_TRUE(absentOrWhole(fs::path(out.toStdString()) / "phone.bin", bytes));
        app.sim().replug(serial);
    }

    // Plugged again: a new window lists the phone.
    app.usb().plug(usb);
    OVMainWindowController* window = app.loadedWindow(serial);
    ASSERT_TRUE(window);
    EXPECT_TRUE(filesPane(*window));
}

}  // namespace
}  // namespace orv
