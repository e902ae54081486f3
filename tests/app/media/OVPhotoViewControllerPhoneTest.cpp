// The Photos pane against the simulated phone: its three modes list what the
// phone has, week and month sections as the view models group them,
// thumbnails only for cells on screen and cancelled when they leave, pushed
// additions and deletions applied without losing the selection, the library
// fetch throttled into one trailing fetch, imports into an album, exports of
// albums (name clashes, hostile names) and deletes of albums that count the
// files and leave the folder's other files alone.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>

#include "tests/app/panes/PanePhoneFixture.h"
#include "app/media/OVPhotoAlbumItemView.h"
#include "app/media/OVPhotoItemView.h"
#include "app/media/OVPhotoViewController.h"
#include "app/media/PhotoSectionView.h"
#include "app/panes/OVPathView.h"
#include "app/shell/OVNavbarView.h"
#include "app/toolkit/IBCollectionView.h"
#include "app/toolkit/OVSegButton.h"
#include "core/bridge/model/OVImageAlbum.h"
#include "core/bridge/model/OVImageFile.h"

namespace orv {
namespace {

using test::kPhoneWait;
using test::qtWaitUntil;
namespace fs = std::filesystem;

class PhotosPhone : public test::PanePhoneFixture {
protected:
    void TearDown() override
    {
        pane.reset();
        PanePhoneFixture::TearDown();
    }
    OVPhotoViewController& open(QSize size = QSize(900, 700))
    {
        pane = std::make_unique<OVPhotoViewController>();
        pane->setClient(client);
        pane->setViewType(0);
        pane->loadView();
        pane->view()->resize(size);
        pane->view()->show();
        pane->setDeviceDone();
        EXPECT_TRUE(qtWaitUntil([&] { return pane->didLoadData(); }, kPhoneWait));
        return *pane;
    }
    std::vector<QString> shownNames()
    {
        std::vector<QString> names;
        for (int64_t s = 0; s < std::max<int64_t>(1, pane->gridView()->sectionCount()); ++s)
            for (int64_t i = 0; i < pane->gridView()->itemCountInSectionIndex(s); ++i)
                if (auto item = pane->itemAt(IBSectionIndexSet(s, i)))
                    names.push_back(item->displayname());
        return names;
    }
    int64_t albumIndex(const QString& name)
    {
        for (int64_t i = 0; i < pane->pmodelAlbums()->totalItemNumber(); ++i)
            if (pane->pmodelAlbums()->itemForIndex(i)->rawfilename() == name)
                return i;
        return -1;
    }
    OVPhotoAlbumViewModelRef album(const QString& name)
    {
        const int64_t index = albumIndex(name);
        return index < 0 ? nullptr : pane->pmodelAlbums()->itemForIndex(index);
    }

    std::unique_ptr<OVPhotoViewController> pane;
};

bool containsName(const std::vector<QString>& names, const QString& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

TEST_F(PhotosPhone, EachModeListsWhatThePhoneHas)
{
    open();
    // The first load opens the camera roll.
    EXPECT_EQ(pane->lastFolderSelection(), OVPhotoViewController::ModeCamera);
    EXPECT_EQ(pane->currentList(), pane->pmodelCamera());
    EXPECT_EQ(pane->totalItemNumber(), 6);
    EXPECT_FALSE(pane->navbarView()->hasPathView());

    pane->chooseMode(OVPhotoViewController::ModeAll);
    EXPECT_EQ(pane->totalItemNumber(), 12);
    const auto all = shownNames();
    EXPECT_TRUE(containsName(all, QStringLiteral("harbour.jpg")));
    EXPECT_FALSE(containsName(all, QStringLiteral("1425205211000.jpg")));  // hidden thumbnails folder

    pane->chooseMode(OVPhotoViewController::ModeAlbums);
    ASSERT_TRUE(pane->isShowingAlbumList());
    EXPECT_TRUE(pane->timeButton()->isHidden());
    EXPECT_TRUE(pane->navbarView()->hasPathView());
    EXPECT_EQ(pane->navbarView()->height(), 77);
    EXPECT_EQ(pane->pathView()->pathComponentCells().size(), 1u);
    EXPECT_EQ(pane->gridView()->itemCountInSectionIndex(0), 4);
    auto* tile = qobject_cast<OVPhotoAlbumItemView*>(pane->gridView()->itemViewWithIndexSet(IBSectionIndexSet(0, albumIndex("Saved"))));
    ASSERT_NE(tile, nullptr);
    EXPECT_EQ(tile->label(), QStringLiteral("Saved (2)"));

    // Into an album and back with Control-Up.
    pane->collectionViewDidDoubleClickItemView(pane->gridView(), IBSectionIndexSet(0, albumIndex("Saved")));
    ASSERT_FALSE(pane->isShowingAlbumList());
    EXPECT_FALSE(pane->timeButton()->isHidden());
    EXPECT_EQ(pane->pathView()->pathComponentCells().size(), 2u);
    EXPECT_EQ(pane->totalItemNumber(), 2);
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::ControlModifier);
    pane->collectionViewDidKeyDownEvent(pane->gridView(), &up);
    EXPECT_TRUE(pane->isShowingAlbumList());
    EXPECT_TRUE(pane->timeButton()->isHidden());
    EXPECT_EQ(pane->pathView()->pathComponentCells().size(), 1u);

    // The same mode again does not switch; choosing it anew fetches the library again.
    const uint64_t fetches = pane->libraryFetchCount();
    pane->chooseMode(OVPhotoViewController::ModeAlbums);
    EXPECT_EQ(pane->libraryFetchCount(), fetches);
    pane->reloadCurrentViewData();
    EXPECT_TRUE(qtWaitUntil([&] { return pane->libraryFetchCount() > fetches; }, kPhoneWait));
}

TEST_F(PhotosPhone, WeeksAndMonthsGroupAsTheModelSaysAndKeepTheSelection)
{
    open();
    pane->chooseMode(OVPhotoViewController::ModeAll);
    pane->gridView()->selectItemWithIndexSet(IBSectionIndexSet(0, 3));
    const OVViewModelRef picked = pane->selectedItems().front();

    struct Case {
        int grouping;
        double side;
    };
    for (const Case& c : std::vector<Case>{{OVPhotoGroupTypeMonth, 64}, {OVPhotoGroupTypeWeek, 111}, {OVPhotoGroupTypeNone, 154}}) {
        pane->chooseGrouping(c.grouping);
        const auto list = pane->pmodelAll();
        EXPECT_EQ(pane->sectionLayoutManager()->itemSize(), QSizeF(c.side, c.side)) << c.grouping;
        EXPECT_EQ(pane->gridView()->sectionCount(), list->sectionNumber()) << c.grouping;
        if (c.grouping != OVPhotoGroupTypeNone) {
            EXPECT_GT(list->sectionNumber(), 1);
            EXPECT_EQ(pane->sectionLayoutManager()->sectionHeaderViewHeight(), 40);
            auto* section = qobject_cast<OVCollectionSectionView*>(pane->gridView()->sectionViewWithIndex(0));
            ASSERT_NE(section, nullptr);
            EXPECT_EQ(section->sectionTitle(), list->titleLabelForSection(0));
        }
        ASSERT_EQ(pane->selectedItems().size(), 1u) << c.grouping;
        EXPECT_EQ(pane->selectedItems().front(), picked) << c.grouping;
    }
}

TEST_F(PhotosPhone, SpacePreviewsTheFirstSelectedPhotoAndArrowsMoveThePreview)
{
    open();
    pane->chooseMode(OVPhotoViewController::ModeAll);
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    pane->collectionViewDidKeyDownEvent(pane->gridView(), &space);
    EXPECT_FALSE(pane->quicklookItem());  // nothing selected, nothing previewed

    pane->gridView()->selectItemWithIndexSet(IBSectionIndexSet(0, 0));
    pane->collectionViewDidKeyDownEvent(pane->gridView(), &space);
    ASSERT_EQ(pane->quicklookItem(), pane->itemAt(IBSectionIndexSet(0, 0)));
    OVPreviewWindow* panel = OVPreviewWindow::sharedPreviewPanel();
    ASSERT_TRUE(qtWaitUntil([&] { return !panel->item().localPath.isEmpty(); }, kPhoneWait));
    // The preview's own right arrow moves the grid's selection, and the preview follows.
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    EXPECT_TRUE(pane->previewPanelHandleEvent(&right));
    EXPECT_EQ(pane->quicklookItem(), pane->itemAt(IBSectionIndexSet(0, 1)));
    EXPECT_FALSE(pane->screenRectForItem(pane->quicklookItem()).isEmpty());
    panel->close();
}

TEST_F(PhotosPhone, EachListKeepsItsOwnScrollPosition)
{
    open(QSize(520, 300));
    pane->chooseMode(OVPhotoViewController::ModeAll);
    pane->gridView()->scrollToOffsetPoint(QPointF(0, 200));
    const QPointF all = pane->gridView()->scrollOffsetPoint();
    ASSERT_GT(all.y(), 0);
    pane->chooseMode(OVPhotoViewController::ModeAlbums);
    EXPECT_EQ(pane->gridView()->scrollOffsetPoint().y(), 0);
    // An album never shares the entry of a mode, whatever its id.
    pane->openAlbum(pane->pmodelAlbums()->itemForIndex(0));
    EXPECT_EQ(pane->gridView()->scrollOffsetPoint().y(), 0);
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::ControlModifier);
    pane->collectionViewDidKeyDownEvent(pane->gridView(), &up);
    pane->chooseMode(OVPhotoViewController::ModeAll);
    EXPECT_EQ(pane->gridView()->scrollOffsetPoint(), all);
}

TEST_F(PhotosPhone, ThumbnailsOnlyForCellsOnScreenAndCancelledWhenTheyLeave)
{
    // Room for one row of three cells.
    open(QSize(520, 260));
    pane->chooseMode(OVPhotoViewController::ModeAll);
    const auto visible = pane->gridView()->visibleItemViews();
    ASSERT_FALSE(visible.isEmpty());
    ASSERT_LT(visible.size(), 11);
    const auto list = pane->pmodelAll();
    // Nothing is asked for the cells nobody sees.
    for (const OVViewModelRef& item : *list) {
        bool shown = false;
        for (auto* cell : visible)
            shown = shown || qobject_cast<OVPhotoItemView*>(cell)->representedObject() == item;
        if (!shown) {
            EXPECT_FALSE(item->hasPendingThumbnailRequest()) << item->rawfilename().toStdString();
            EXPECT_FALSE(pane->isObservingThumbnailOf(item.get()));
        }
    }
    // The cells on screen get their thumbnails.
    ASSERT_TRUE(qtWaitUntil(
        [&] {
            for (auto* cell : pane->gridView()->visibleItemViews())
                if (qobject_cast<OVPhotoItemView*>(cell)->image().isNull())
                    return false;
            return true;
        },
        kPhoneWait));
    EXPECT_EQ(pane->observedThumbnailCount(), 0u);

    // A fresh grouping asks again; scrolling away at once cancels what is pending.
    for (const OVViewModelRef& item : *list)
        item->setThumbnail(QImage());
    pane->chooseGrouping(OVPhotoGroupTypeMonth);
    pane->chooseGrouping(OVPhotoGroupTypeNone);
    std::vector<OVViewModelRef> waiting;
    for (const OVViewModelRef& item : *list)
        if (pane->isObservingThumbnailOf(item.get()))
            waiting.push_back(item);
    pane->gridView()->scrollToOffsetPoint(QPointF(0, 100000));
    QCoreApplication::processEvents();
    for (const OVViewModelRef& item : waiting) {
        if (pane->indexSetForItem(*item) &&
            pane->gridView()->itemViewWithIndexSet(*pane->indexSetForItem(*item)))
            continue;  // still on screen after the scroll
        EXPECT_FALSE(pane->isObservingThumbnailOf(item.get()));
        EXPECT_FALSE(item->hasPendingThumbnailRequest());
        EXPECT_FALSE(item->observerThumbnailLoading());
    }
}

TEST_F(PhotosPhone, PushesUpdateTheGridWithoutLosingTheSelection)
{
    open();
    pane->chooseMode(OVPhotoViewController::ModeAll);
    const int64_t total = pane->totalItemNumber();
    pane->gridView()->selectItemWithIndexSets({IBSectionIndexSet(0, 1), IBSectionIndexSet(0, 4)});
    const std::vector<OVViewModelRef> picked = pane->selectedItems();
    ASSERT_EQ(picked.size(), 2u);

    // A deletion of another photo: the two stay selected where they moved to.
    OVViewModelRef other;
    for (const OVViewModelRef& item : *pane->pmodelAll())
        if (item != picked[0] && item != picked[1])
            other = item;
    pane->deviceLibraryCallback(OVLibraryChange{{}, {other->ovfile()}});
    EXPECT_EQ(pane->totalItemNumber(), total - 1);
    ASSERT_EQ(pane->selectedItems().size(), 2u);
    EXPECT_EQ(pane->selectedItems()[0]->path(), picked[0]->path());
    EXPECT_EQ(pane->selectedItems()[1]->path(), picked[1]->path());

    // An addition selects what was added.
    auto added = std::make_shared<OVImageFile>();
    added->setPath("/storage/emulated/legacy/DCIM/Camera/IMG_20170101_101010.jpg");
    added->setName("IMG_20170101_101010.jpg");
    pane->deviceLibraryCallback(OVLibraryChange{{added}, {}});
    EXPECT_EQ(pane->totalItemNumber(), total);
    ASSERT_EQ(pane->selectedItems().size(), 1u);
    EXPECT_EQ(pane->selectedItems().front()->path(), QString::fromStdString(added->path()));

    // A change the phone could not itemise fetches again, even right after a fetch.
    const uint64_t fetches = pane->libraryFetchCount();
    pane->deviceLibraryCallback(std::nullopt);
    pane->deviceLibraryCallback(std::nullopt);
    ASSERT_TRUE(qtWaitUntil([&] { return pane->libraryFetchCount() == fetches + 1 && !pane->hasTrailingFetch(); },
                            kPhoneWait));
    // The fetch brings back what the phone really has.
    ASSERT_TRUE(qtWaitUntil([&] { return pane->totalItemNumber() == total; }, kPhoneWait));
}

TEST_F(PhotosPhone, ImportIntoADroppedOnAlbumAndTheDropTargetGoesWithTheDrag)
{
    open();
    pane->chooseMode(OVPhotoViewController::ModeAlbums);
    QFile::copy(QString::fromStdString((phoneRoot() / "Pictures/Saved/harbour.jpg").string()),
                local.filePath("dropped.jpg"));
    QFile note(local.filePath("note.txt"));
    ASSERT_TRUE(note.open(QIODevice::WriteOnly));
    note.write("not a picture");
    note.close();

    // Hovering a tile highlights it; leaving the grid forgets it.
    const IBSectionIndexSet saved(0, albumIndex("Saved"));
    pane->collectionViewDraggingUpdated(pane->gridView(), nullptr, saved);
    auto* tile = qobject_cast<OVPhotoAlbumItemView*>(pane->gridView()->itemViewWithIndexSet(saved));
    ASSERT_NE(tile, nullptr);
    EXPECT_TRUE(tile->dropOn());
    pane->collectionViewDraggingExited(pane->gridView(), nullptr);
    EXPECT_FALSE(tile->dropOn());
    EXPECT_EQ(pane->dropTargetAlbum(), nullptr);
    // So a later Import goes where the mode says, not into the album last hovered.
    EXPECT_EQ(pane->importDestination(nullptr)->path(), QString::fromStdString(OVDeviceClient::fromMacDir()->path()));

    // Only pictures travel; a drop of none says so.
    EXPECT_FALSE(pane->importDroppedPaths({local.filePath("note.txt")}, album("Saved")));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(pane->quickCheckIfCanDrop({local.path()}));
    EXPECT_FALSE(pane->quickCheckIfCanDrop({local.filePath("note.txt")}));
    ASSERT_TRUE(pane->importDroppedPaths({local.filePath("note.txt"), local.filePath("dropped.jpg")}, album("Saved")));
    ASSERT_TRUE(qtWaitUntil([&] { return !pane->isTransferRunning(); }, kPhoneWait));
    EXPECT_TRUE(fs::exists(phoneRoot() / "Pictures/Saved/dropped.jpg"));
    EXPECT_FALSE(fs::exists(phoneRoot() / "Pictures/Saved/note.txt"));
    fs::remove(phoneRoot() / "Pictures/Saved/dropped.jpg");
}

TEST_F(PhotosPhone, AlbumsExportIntoFoldersOfTheirOwnAskingAboutClashes)
{
    open();
    pane->chooseMode(OVPhotoViewController::ModeAlbums);
    ASSERT_TRUE(QDir(local.path()).mkpath(QStringLiteral("Saved")));
    QFile existing(local.filePath("Saved/harbour.jpg"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("mine");
    existing.close();
    dialogs.clashAnswers = {PaneDialogs::ClashAnswer::KeepBoth};

    pane->gridView()->selectItemWithIndexSets(
        {IBSectionIndexSet(0, albumIndex("Saved")), IBSectionIndexSet(0, albumIndex("Screenshots"))});
    std::optional<std::optional<Error>> done;
    pane->doExport(local.path(), [&](std::optional<Error> error) { done = error; });
    // One transfer per pane: a second export while the albums go is refused, and says so.
    bool second = false;
    pane->doExport(local.path(), [&](std::optional<Error>) { second = true; });
    EXPECT_EQ(dialogs.messages.size(), 1);
    ASSERT_TRUE(qtWaitUntil([&] { return done.has_value(); }, kPhoneWait));
    EXPECT_FALSE(*done);
    EXPECT_FALSE(second);
    EXPECT_EQ(dialogs.clashes.size(), 1);
    QFile kept(local.filePath("Saved/harbour.jpg"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("mine"));
    EXPECT_TRUE(QFileInfo::exists(local.filePath("Saved/harbour_1.jpg")));
    EXPECT_TRUE(QFileInfo::exists(local.filePath("Saved/mountains.jpg")));
    // Each album in a folder named as the album is shown.
    EXPECT_EQ(QDir(local.filePath(album("Screenshots")->displayname())).entryList(QDir::Files).size(), 3);
}

TEST_F(PhotosPhone, HostileAlbumNamesStayInsideTheChosenFolder)
{
    open();
    pane->chooseMode(OVPhotoViewController::ModeAlbums);
    const auto saved = album("Saved");
    ASSERT_NE(saved, nullptr);
    std::vector<OVFileRef> photos;
    for (const OVViewModelRef& item : *saved)
        photos.push_back(item->ovfile());
    const QString serial = QString::fromStdString(client->serialNumber());
    QDir().mkpath(local.filePath("chosen"));
    struct Case {
        std::string name;
        QString folder;
    };
    for (const Case& c : std::vector<Case>{{"AC/DC", "AC_DC"}, {"..", "_"}, {"../../escape", ".._.._escape"}}) {
        auto record = std::make_shared<OVImageAlbum>();
        record->setName(c.name);
        record->setPath("/storage/emulated/legacy/Pictures/Saved/");
        record->setAlbumId(7000);
        auto hostile = OVPhotoAlbumViewModel::make(record, serial);
        hostile->setContentToOVFileChildren(photos);
        pane->pmodelAlbums()->addAlbum(hostile);
        pane->reloadGrid();
        const auto pair = pane->indexSetForItem(*hostile);
        ASSERT_TRUE(pair);
        pane->gridView()->selectItemWithIndexSet(*pair);
        dialogs.clashAnswers = {PaneDialogs::ClashAnswer::Replace, PaneDialogs::ClashAnswer::Replace};
        std::optional<std::optional<Error>> done;
        pane->doExport(local.filePath("chosen"), [&](std::optional<Error> error) { done = error; });
        ASSERT_TRUE(qtWaitUntil([&] { return done.has_value(); }, kPhoneWait)) << c.name;
        EXPECT_TRUE(QFileInfo::exists(local.filePath("chosen/" + c.folder + "/harbour.jpg"))) << c.name;
        pane->pmodelAlbums()->deleteAlbum(hostile);
    }
    // Nothing landed beside the chosen folder.
    EXPECT_EQ(QDir(local.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"chosen"});
}

TEST_F(PhotosPhone, DeletingAnAlbumCountsItsFilesAndLeavesTheFolderElse)
{
    const std::string jpeg = readPhoneFile("Pictures/Saved/harbour.jpg");
    fs::create_directories(phoneRoot() / "Pictures/Trip");
    for (const char* name : {"a.jpg", "b.jpg"})
        std::ofstream(phoneRoot() / "Pictures/Trip" / name, std::ios::binary) << jpeg;
    std::ofstream(phoneRoot() / "Pictures/Trip/itinerary.txt") << "day one";
    open();
    pane->chooseMode(OVPhotoViewController::ModeAlbums);
    ASSERT_GE(albumIndex("Trip"), 0);
    const int64_t albums = pane->totalItemNumber();
    const uint64_t fetches = pane->libraryFetchCount();

    pane->gridView()->selectItemWithIndexSet(IBSectionIndexSet(0, albumIndex("Trip")));
    dialogs.confirm = true;
    pane->mediaDeleteAction();
    ASSERT_EQ(dialogs.deleteQuestions.size(), 1);
    EXPECT_TRUE(dialogs.deleteQuestions.front().contains(QStringLiteral("Trip")));
    EXPECT_TRUE(dialogs.deleteQuestions.front().contains(QStringLiteral("2 files")));
    ASSERT_TRUE(qtWaitUntil([&] { return !pane->isTransferRunning(); }, kPhoneWait));
    // The photos went, the folder and its other file did not.
    EXPECT_FALSE(fs::exists(phoneRoot() / "Pictures/Trip/a.jpg"));
    EXPECT_FALSE(fs::exists(phoneRoot() / "Pictures/Trip/b.jpg"));
    EXPECT_TRUE(fs::exists(phoneRoot() / "Pictures/Trip/itinerary.txt"));
    // The tile left at once, without a fetch.
    EXPECT_EQ(pane->libraryFetchCount(), fetches);
    EXPECT_EQ(pane->totalItemNumber(), albums - 1);
    EXPECT_LT(albumIndex("Trip"), 0);
    fs::remove_all(phoneRoot() / "Pictures/Trip");
}

TEST_F(PhotosPhone, DeletedRowsLeaveAtOnceAndTheRestOfTheSelectionStays)
{
    const std::string jpeg = readPhoneFile("Pictures/Saved/harbour.jpg");
    fs::create_directories(phoneRoot() / "Pictures/Bin");
    for (const char* name : {"x.jpg", "y.jpg"})
        std::ofstream(phoneRoot() / "Pictures/Bin" / name, std::ios::binary) << jpeg;
    open();
    pane->chooseMode(OVPhotoViewController::ModeAll);
    const int64_t total = pane->totalItemNumber();
    OVViewModelRef x;
    OVViewModelRef keep;
    for (const OVViewModelRef& item : *pane->pmodelAll()) {
        if (item->rawfilename() == QStringLiteral("x.jpg"))
            x = item;
        if (item->rawfilename() == QStringLiteral("mountains.jpg"))
            keep = item;
    }
    ASSERT_TRUE(x && keep);
    pane->selectItems({x, keep});
    std::optional<std::optional<Error>> done;
    pane->doDelete({x}, [&](const std::optional<Error>& error) { done = error; });
    ASSERT_TRUE(qtWaitUntil([&] { return done.has_value(); }, kPhoneWait));
    EXPECT_FALSE(*done);
    EXPECT_EQ(pane->totalItemNumber(), total - 1);
    ASSERT_EQ(pane->selectedItems().size(), 1u);
    EXPECT_EQ(pane->selectedItems().front()->path(), keep->path());
    for (const IBSectionIndexSet& pair : pane->gridView()->selectedItemIndexSets())
        EXPECT_NE(pane->itemAt(pair), nullptr);
    fs::remove_all(phoneRoot() / "Pictures/Bin");
}

}  // namespace
}  // namespace orv
