// The Videos pane against the simulated phone: the camera folder's videos
// and the other folders (never the camera folder among them), the sort menu,
// drops onto a folder tile, exports of folders each into its own folder, and
// deletes of a folder that touch only its videos.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>

#include "tests/app/panes/PanePhoneFixture.h"
#include "app/media/OVPhotoItemView.h"
#include "app/media/OVVideoViewController.h"
#include "app/panes/OVPathView.h"
#include "app/shell/OVNavbarView.h"
#include "app/toolkit/IBCollectionView.h"
#include "app/toolkit/OVButton.h"
#include "core/bridge/model/OVVideoFile.h"

namespace orv {
namespace {

using test::kPhoneWait;
using test::qtWaitUntil;
namespace fs = std::filesystem;

class VideosPhone : public test::PanePhoneFixture {
protected:
    void TearDown() override
    {
        pane.reset();
        PanePhoneFixture::TearDown();
    }
    void open()
    {
        pane = std::make_unique<OVVideoViewController>();
        pane->setClient(client);
        pane->setViewType(1);
        pane->loadView();
        pane->view()->resize(900, 700);
        pane->view()->show();
        pane->setDeviceDone();
        ASSERT_TRUE(qtWaitUntil([&] { return pane->didLoadData(); }, kPhoneWait));
    }
    int64_t folderIndex(const QString& name)
    {
        for (int64_t i = 0; i < pane->pmodelOthers()->totalItemNumber(); ++i)
            if (pane->pmodelOthers()->itemForIndex(i)->rawfilename() == name)
                return i;
        return -1;
    }
    std::vector<QString> cameraNames()
    {
        std::vector<QString> names;
        for (const OVViewModelRef& item : *pane->pmodelCamera())
            names.push_back(item->rawfilename());
        return names;
    }

    std::unique_ptr<OVVideoViewController> pane;
};

TEST_F(VideosPhone, CameraVideosAndOtherFoldersWithoutTheCameraFolder)
{
    open();
    EXPECT_EQ(pane->currentList(), pane->pmodelCamera());
    EXPECT_EQ(pane->totalItemNumber(), 2);
    EXPECT_FALSE(pane->sortButton()->isHidden());
    EXPECT_FALSE(pane->navbarView()->hasPathView());
    auto* cell = qobject_cast<OVPhotoItemView*>(pane->gridView()->itemViewWithIndexSet(IBSectionIndexSet(0, 0)));
    ASSERT_NE(cell, nullptr);
    EXPECT_TRUE(cell->isVideo());

    pane->chooseMode(OVVideoViewController::ModeOthers);
    ASSERT_TRUE(pane->isShowingAlbumList());
    EXPECT_TRUE(pane->sortButton()->isHidden());
    EXPECT_TRUE(pane->navbarView()->hasPathView());
    EXPECT_GE(folderIndex("Movies"), 0);
    EXPECT_GE(folderIndex("Clips"), 0);
    EXPECT_LT(folderIndex("Camera"), 0);

    // A push of a new camera video never brings the camera folder into the list.
    auto video = std::make_shared<OVVideoFile>();
    video->setPath("/storage/emulated/legacy/DCIM/Camera/VID_20170101_101010.mp4");
    video->setName("VID_20170101_101010.mp4");
    pane->deviceLibraryCallback(OVLibraryChange{{video}, {}});
    EXPECT_LT(folderIndex("Camera"), 0);
    EXPECT_EQ(pane->pmodelCamera()->totalItemNumber(), 3);
    EXPECT_TRUE(pane->gridView()->selectedItemIndexSets().isEmpty());

    // The preview's keys move the selection on the folder list only; a video keeps them.
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    EXPECT_TRUE(pane->previewPanelHandleEvent(&right));

    // Control-Down opens the selected folder.
    pane->gridView()->selectItemWithIndexSet(IBSectionIndexSet(0, folderIndex("Movies")));
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::ControlModifier);
    pane->collectionViewDidKeyDownEvent(pane->gridView(), &down);
    ASSERT_FALSE(pane->isShowingAlbumList());
    EXPECT_EQ(pane->currentList()->rawfilename(), QStringLiteral("Movies"));
    EXPECT_FALSE(pane->previewPanelHandleEvent(&right));
    EXPECT_FALSE(pane->sortButton()->isHidden());
    EXPECT_EQ(pane->pathView()->pathComponentCells().size(), 2u);
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::ControlModifier);
    pane->collectionViewDidKeyDownEvent(pane->gridView(), &up);
    EXPECT_TRUE(pane->isShowingAlbumList());
    EXPECT_TRUE(pane->sortButton()->isHidden());
}

TEST_F(VideosPhone, TheSortMenuReordersTheShownVideosAndLaterFolders)
{
    open();
    std::unique_ptr<QMenu> menu(pane->makeSortMenu());
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_TRUE(menu->actions()[0]->isChecked());
    EXPECT_FALSE(menu->actions()[1]->isChecked());

    menu->actions()[1]->trigger();
    EXPECT_EQ(pane->currentSortTag(), OVVideoViewController::SortBySize);
    std::vector<uint64_t> sizes;
    for (const OVViewModelRef& item : *pane->pmodelCamera())
        sizes.push_back(item->filesize());
    EXPECT_TRUE(std::is_sorted(sizes.rbegin(), sizes.rend()));
    std::unique_ptr<QMenu> again(pane->makeSortMenu());
    EXPECT_TRUE(again->actions()[1]->isChecked());
}

TEST_F(VideosPhone, FoldersExportEachIntoItsOwnFolder)
{
    open();
    pane->chooseMode(OVVideoViewController::ModeOthers);
    pane->gridView()->selectItemWithIndexSets(
        {IBSectionIndexSet(0, folderIndex("Movies")), IBSectionIndexSet(0, folderIndex("Clips"))});
    std::optional<std::optional<Error>> done;
    pane->doExport(local.path(), [&](std::optional<Error> error) { done = error; });
    ASSERT_TRUE(qtWaitUntil([&] { return done.has_value(); }, kPhoneWait));
    EXPECT_FALSE(*done);
    EXPECT_EQ(QDir(local.filePath("Movies")).entryList(QDir::Files), QStringList{"Holiday.mp4"});
    EXPECT_EQ(QDir(local.filePath("Clips")).entryList(QDir::Files), QStringList{"Concert.mp4"});
}

TEST_F(VideosPhone, DropsOnAFolderTileAndDeletesOfAFolderTouchOnlyVideos)
{
    const std::string mp4 = readPhoneFile("Movies/Holiday.mp4");
    fs::create_directories(phoneRoot() / "Movies/Trip");
    for (const char* name : {"a.mp4", "b.mp4"})
        std::ofstream(phoneRoot() / "Movies/Trip" / name, std::ios::binary) << mp4;
    std::ofstream(phoneRoot() / "Movies/Trip/notes.txt") << "keep me";
    open();
    pane->chooseMode(OVVideoViewController::ModeOthers);
    ASSERT_GE(folderIndex("Trip"), 0);

    // A drop: videos only, into the tile's folder; nothing but text says so.
    QFile::copy(QString::fromStdString((phoneRoot() / "Movies/Holiday.mp4").string()), local.filePath("c.mp4"));
    QFile text(local.filePath("t.txt"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.close();
    const auto trip = pane->pmodelOthers()->itemForIndex(folderIndex("Trip"));
    EXPECT_FALSE(pane->importDroppedPaths({local.filePath("t.txt")}, trip));
    ASSERT_EQ(dialogs.messages.size(), 1);
    ASSERT_TRUE(pane->importDroppedPaths({local.path()}, trip));
    ASSERT_TRUE(qtWaitUntil([&] { return !pane->isTransferRunning(); }, kPhoneWait));
    EXPECT_TRUE(fs::exists(phoneRoot() / "Movies/Trip/c.mp4"));
    EXPECT_FALSE(fs::exists(phoneRoot() / "Movies/Trip/t.txt"));

    // The folder's tile deletes the videos it lists, not the phone folder.
    pane->gridView()->selectItemWithIndexSet(IBSectionIndexSet(0, folderIndex("Trip")));
    pane->mediaDeleteAction();
    ASSERT_EQ(dialogs.deleteQuestions.size(), 1);
    EXPECT_TRUE(dialogs.deleteQuestions.front().contains(QStringLiteral("2 files")));
    ASSERT_TRUE(qtWaitUntil([&] { return !pane->isTransferRunning(); }, kPhoneWait));
    EXPECT_FALSE(fs::exists(phoneRoot() / "Movies/Trip/a.mp4"));
    EXPECT_FALSE(fs::exists(phoneRoot() / "Movies/Trip/b.mp4"));
    EXPECT_TRUE(fs::exists(phoneRoot() / "Movies/Trip/notes.txt"));
    fs::remove_all(phoneRoot() / "Movies/Trip");
}

}  // namespace
}  // namespace orv
