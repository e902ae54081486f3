// The cable comes out at a random moment of each step a user takes: in the
// Files pane entering a folder, importing, exporting, deleting; among the
// media loading the photos, exporting an album, previewing a photo, loading
// the songs. Whatever the moment, the window closes and nothing hangs, and no
// file stands under its final name on either side unless it is whole;
// plugged again, a new window works. The moments come from a seed that is
// printed; setting ORVANE_JOURNEY_SEED replays a run.

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QTemporaryDir>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>

#include "JourneySupport.h"
#include "app/media/OVAudioViewController.h"
#include "app/media/OVPhotoViewController.h"
#include "app/panes/OVPreviewWindow.h"
#include "app/toolkit/IBCollectionView.h"
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

// Waits a moment drawn from `random`, pulls the cable (adb and USB) and
// checks that the window closes; the phone is plugged back for the next step.
::testing::AssertionResult unplugAtARandomMoment(RunningApp& app, const std::string& serial, std::mt19937& random,
                                                  const std::function<void()>& checkFiles)
{
    const auto usb = RunningApp::usbFacts(serial, 3, 9);
    const auto moment = std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 1500)(random));
    qtWaitUntil([] { return false; }, moment);  // the random moment, not a wait for an event
    app.sim().unplug(serial);
    app.usb().unplug(usb);
    const bool closed = qtWaitUntil([&] { return app.delegate().allControllers().empty(); }, 60s);
    checkFiles();
    app.sim().replug(serial);
    if (!closed)
        return ::testing::AssertionFailure() << "the window stayed " << moment.count() << " ms into the step";
    return ::testing::AssertionSuccess();
}

// The whole application against the simulated phone, and the moments drawn
// from a printed seed.
class UnplugJourney : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::printf("journey seed %u (ORVANE_JOURNEY_SEED=%u replays it)\n", seed, seed);
        ASSERT_TRUE(app.launch());
    }

    const unsigned seed = journeySeed();
    ::testing::ScopedTrace trace{__FILE__, __LINE__, "ORVANE_JOURNEY_SEED=" + std::to_string(seed)};
    std::mt19937 random{seed};
    const bool prepared = (prepareApplication(), true);
    PaneSeams seams;
    RunningApp app;
    QTemporaryDir local;
};

TEST_F(UnplugJourney, AtARandomMomentOfEachStepTheWindowClosesAndNoFileIsLeftHalf)
{
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
        ASSERT_TRUE(unplugAtARandomMoment(app, serial, random, [&] {
            EXPECT_TRUE(absentOrWhole(download / "in.bin", bytes));
            EXPECT_TRUE(absentOrWhole(download / "phone.bin", bytes));
            EXPECT_TRUE(absentOrWhole(fs::path(out.toStdString()) / "phone.bin", bytes));
        }));
    }

    // Plugged again: a new window lists the phone.
    app.usb().plug(usb);
    OVMainWindowController* window = app.loadedWindow(serial);
    ASSERT_TRUE(window);
    EXPECT_TRUE(filesPane(*window));
}

TEST_F(UnplugJourney, AtARandomMomentOfEachMediaStepTheWindowClosesAndNoPhotoIsLeftHalf)
{
    constexpr int64_t kPhotos = 0;
    constexpr int64_t kMusic = 2;
    const std::string serial = app.sim().serial();
    const fs::path saved = app.sim().phoneRoot(serial) / "Pictures/Saved";
    const auto usb = RunningApp::usbFacts(serial, 3, 9);
    // Every answer a little late and the pictures paced, so that loading and
    // the album's export last about a second: the moments fall before,
    // during and after them.
    app.sim().set(serial, "reply-delay", "0.05");
    app.sim().set(serial, "transfer-rate", std::to_string(4 * 1024));
    seams.dialogs.exportFolder = local.path();
    const QByteArray harbour = readFile(QString::fromStdString((saved / "harbour.jpg").string()));
    const QByteArray mountains = readFile(QString::fromStdString((saved / "mountains.jpg").string()));
    ASSERT_FALSE(harbour.isEmpty());
    ASSERT_FALSE(mountains.isEmpty());

    struct Step {
        const char* name;
        std::function<::testing::AssertionResult(OVMainWindowController&)> start;
    };
    const auto photosPane = [](OVMainWindowController& window) {
        window.switchToView(kPhotos);
        return dynamic_cast<OVPhotoViewController*>(window.pane(kPhotos));
    };
    using Result = ::testing::AssertionResult;
    const auto inPhotos = [&](std::function<Result(OVPhotoViewController&)> start) {
        return [&photosPane, start](OVMainWindowController& window) {
            auto* photos = photosPane(window);
            return photos ? start(*photos) : ::testing::AssertionFailure() << "no photos pane";
        };
    };
    const Step steps[] = {
        {"load the photos", inPhotos([](OVPhotoViewController& photos) {
             photos.chooseMode(OVPhotoViewController::ModeAll);
             return ::testing::AssertionSuccess();
         })},
        {"export an album", inPhotos([](OVPhotoViewController& photos) {
             photos.chooseMode(OVPhotoViewController::ModeAlbums);
             OVPhotoAlbumsViewModel* albums = photos.pmodelAlbums();
             int64_t index = -1;
             if (!qtWaitUntil(
                     [&] {
                         for (int64_t i = 0; i < albums->totalItemNumber(); ++i)
                             if (albums->itemForIndex(i)->rawfilename() == QLatin1String("Saved"))
                                 index = i;
                         return index >= 0;
                     },
                     60s))
                 return ::testing::AssertionFailure() << "the Saved album was not listed";
             photos.gridView()->selectItemWithIndexSet(IBSectionIndexSet(0, index));
             photos.OVRightViewController::exportAction();
             return ::testing::AssertionSuccess();
         })},
        {"preview a photo", inPhotos([](OVPhotoViewController& photos) {
             photos.chooseMode(OVPhotoViewController::ModeAll);
             if (!qtWaitUntil([&] { return photos.gridView()->itemCountInSectionIndex(0) > 0; }, 60s))
                 return ::testing::AssertionFailure() << "no photo was listed";
             photos.gridView()->selectItemWithIndexSet(IBSectionIndexSet(0, 0));
             QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
             photos.collectionViewDidKeyDownEvent(photos.gridView(), &space);
             return ::testing::AssertionSuccess();
         })},
        {"load the songs",
         [&](OVMainWindowController& window) {
             window.switchToView(kMusic);
             if (!dynamic_cast<OVAudioViewController*>(window.pane(kMusic)))
                 return ::testing::AssertionFailure() << "no music pane";
             return ::testing::AssertionSuccess();
         }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        app.usb().plug(usb);
        OVMainWindowController* window = app.loadedWindow(serial);
        ASSERT_TRUE(window);
        ASSERT_TRUE(step.start(*window));
        ASSERT_TRUE(unplugAtARandomMoment(app, serial, random, [&] {
            EXPECT_TRUE(absentOrWhole(fs::path(local.filePath(QStringLiteral("Saved/harbour.jpg")).toStdString()),
                                      harbour));
            EXPECT_TRUE(absentOrWhole(fs::path(local.filePath(QStringLiteral("Saved/mountains.jpg")).toStdString()),
                                      mountains));
        }));
        // Each export starts from an empty folder: no clash question.
        QDir(local.filePath(QStringLiteral("Saved"))).removeRecursively();
    }

    // Plugged again: the photos load whole.
    app.sim().set(serial, "reply-delay", "0");
    app.usb().plug(usb);
    OVMainWindowController* window = app.loadedWindow(serial);
    ASSERT_TRUE(window);
    auto* photos = photosPane(*window);
    ASSERT_TRUE(photos);
    photos->chooseMode(OVPhotoViewController::ModeAll);
    EXPECT_TRUE(qtWaitUntil(
        [&] {
            int64_t count = 0;
            for (int64_t s = 0; s < std::max<int64_t>(1, photos->gridView()->sectionCount()); ++s)
                count += photos->gridView()->itemCountInSectionIndex(s);
            return count == 12;
        },
        60s));
    OVPreviewWindow::destroySharedPreviewPanel();
}

}  // namespace
}  // namespace orv
