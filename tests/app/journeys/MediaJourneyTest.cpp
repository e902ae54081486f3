// A user's way through the phone's media, in the whole application: photos by
// week and month, an album exported beside a folder that clashes with it, a
// photo of an album previewed, the camera's videos, the songs with one opened
// in the desktop's player.

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QTemporaryDir>
#include <filesystem>

#include "app/media/OVAudioViewController.h"
#include "app/media/OVPhotoViewController.h"
#include "app/media/OVSongTableModel.h"
#include "app/media/OVVideoViewController.h"
#include "app/panes/OVPreviewWindow.h"
#include "app/toolkit/IBCollectionView.h"
#include "JourneySupport.h"
#include "tests/app/shell/RunningApp.h"

namespace orv {
namespace {

using namespace std::chrono_literals;
using test::qtWaitUntil;
namespace fs = std::filesystem;

constexpr int64_t kPhotos = 0;
constexpr int64_t kVideos = 1;
constexpr int64_t kMusic = 2;

int64_t tiles(IBCollectionView* grid)
{
    int64_t count = 0;
    for (int64_t s = 0; s < std::max<int64_t>(1, grid->sectionCount()); ++s)
        count += grid->itemCountInSectionIndex(s);
    return count;
}

TEST(MediaJourney, PhotosByWeekMonthAndAlbumThenVideosThenASong)
{
    test::prepareApplication();
    test::PaneSeams seams;
    {
        test::RunningApp app;
        ASSERT_TRUE(app.launch());
        const std::string serial = app.sim().serial();
        app.usb().plug(test::RunningApp::usbFacts(serial, 3, 9));
        OVMainWindowController* window = app.loadedWindow(serial);
        ASSERT_TRUE(window);

        // Photos: all twelve, grouped by week and by month, then one album.
        window->switchToView(kPhotos);
        auto* photos = dynamic_cast<OVPhotoViewController*>(window->pane(kPhotos));
        ASSERT_TRUE(photos);
        photos->chooseMode(OVPhotoViewController::ModeAll);
        ASSERT_TRUE(qtWaitUntil([&] { return tiles(photos->gridView()) == 12; }, 60s));
        for (int grouping : {1, 2}) {
            photos->chooseGrouping(grouping);
            ASSERT_TRUE(qtWaitUntil([&] { return photos->gridView()->sectionCount() > 1; }, 60s)) << grouping;
            EXPECT_EQ(tiles(photos->gridView()), 12) << grouping;
        }
        photos->chooseGrouping(0);
        photos->chooseMode(OVPhotoViewController::ModeAlbums);
        ASSERT_TRUE(qtWaitUntil([&] { return tiles(photos->gridView()) > 0; }, 60s));
        // The Saved album exported beside a folder of the computer's that
        // already holds one of its names: the user keeps both.
        int64_t saved = -1;
        for (int64_t i = 0; i < photos->pmodelAlbums()->totalItemNumber(); ++i)
            if (photos->pmodelAlbums()->itemForIndex(i)->rawfilename() == QLatin1String("Saved"))
                saved = i;
        ASSERT_GE(saved, 0);
        QTemporaryDir local;
        ASSERT_TRUE(test::writeFile(local.filePath(QStringLiteral("Saved/harbour.jpg")), "mine"));
        seams.dialogs.exportFolder = local.path();
        seams.dialogs.clashAnswers = {PaneDialogs::ClashAnswer::KeepBoth};
        photos->gridView()->selectItemWithIndexSet(IBSectionIndexSet(0, saved));
        photos->OVRightViewController::exportAction();
        ASSERT_TRUE(qtWaitUntil([&] { return !photos->isTransferRunning(); }, 60s));
        const fs::path phoneSaved = app.sim().phoneRoot(serial) / "Pictures/Saved";
        EXPECT_EQ(test::readFile(local.filePath(QStringLiteral("Saved/harbour.jpg"))), "mine");
        EXPECT_EQ(test::readFile(local.filePath(QStringLiteral("Saved/harbour_1.jpg"))),
                  test::readFile(QString::fromStdString((phoneSaved / "harbour.jpg").string())));
        EXPECT_EQ(test::readFile(local.filePath(QStringLiteral("Saved/mountains.jpg"))),
                  test::readFile(QString::fromStdString((phoneSaved / "mountains.jpg").string())));
        EXPECT_EQ(seams.dialogs.clashes.size(), 1);

        photos->openAlbum(photos->pmodelAlbums()->itemForIndex(0));
        ASSERT_TRUE(qtWaitUntil([&] { return tiles(photos->gridView()) > 0; }, 60s));

        // Space previews the first selected photo: the window shows the picture.
        photos->gridView()->selectItemWithIndexSet(IBSectionIndexSet(0, 0));
        QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
        photos->collectionViewDidKeyDownEvent(photos->gridView(), &space);
        ASSERT_TRUE(OVPreviewWindow::sharedPreviewPanelExists());
        OVPreviewWindow* preview = OVPreviewWindow::sharedPreviewPanel();
        ASSERT_TRUE(qtWaitUntil([&] { return preview->kind() == OVPreviewWindow::Kind::Image; }, 60s));
        preview->close();

        // Videos: the camera's two.
        window->switchToView(kVideos);
        auto* videos = dynamic_cast<OVVideoViewController*>(window->pane(kVideos));
        ASSERT_TRUE(videos);
        videos->chooseMode(OVVideoViewController::ModeCamera);
        ASSERT_TRUE(qtWaitUntil([&] { return tiles(videos->gridView()) == 2; }, 60s));

        // Music: the eight songs; a double click hands one to the desktop's player.
        window->switchToView(kMusic);
        auto* music = dynamic_cast<OVAudioViewController*>(window->pane(kMusic));
        ASSERT_TRUE(music);
        ASSERT_TRUE(qtWaitUntil([&] { return music->tableModel()->rowCount() == 8; }, 60s));
        music->tableViewDidDoubleClickAction(music->tableModel()->index(0, 0));
        ASSERT_TRUE(qtWaitUntil([&] { return !seams.launcher.launches.isEmpty(); }, 60s));
        const QString opened = seams.launcher.launches.front();
        EXPECT_TRUE(opened.endsWith(QStringLiteral(".mp3"))) << opened.toStdString();
        EXPECT_TRUE(app.presented().empty());
    }
    OVPreviewWindow::destroySharedPreviewPanel();
}

}  // namespace
}  // namespace orv
