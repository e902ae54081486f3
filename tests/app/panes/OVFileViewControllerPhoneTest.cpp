// The file browser and the Download pane against the simulated phone through
// the real device client: the root and its trail, entering and leaving
// folders, a stale listing never replacing the folder on screen, hidden
// files, thumbnails requested only for cells on screen, the list view with
// folders expanding in place and their memory across navigation, column
// sorts, drops from the computer, folder watching from the phone's pushes and
// the preview copy.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>
#include <filesystem>
#include <fstream>

#include "PaneFakes.h"
#include "QtWait.h"
#include "app/panes/FilePaneRegistration.h"
#include "app/panes/OVDownloadViewController.h"
#include "app/panes/OVFileItemView.h"
#include "app/panes/OVFileOutlineModel.h"
#include "app/panes/OVFileViewController.h"
#include "app/panes/OVOutlineView.h"
#include "app/panes/OVPathView.h"
#include "app/panes/OVPreviewWindow.h"
#include "app/shell/L10n.h"
#include "app/shell/OVMainWindowController.h"
#include "app/shell/PaneFactoryRegistry.h"
#include "app/shell/Prefs.h"
#include "app/toolkit/IBCollectionView.h"
#include "app/toolkit/IBSectionIndexSet.h"
#include "app/toolkit/NSString+Path.h"
#include "app/toolkit/OVSegButton.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/facade/OVResources.h"
#include "phonesim/Simulator.h"
#include "tests/app/panes/PanePhoneFixture.h"
#include "tests/support/ReleasedWork.h"

namespace orv {
namespace {

using test::qtWaitUntil;
namespace fs = std::filesystem;
constexpr auto kLong = test::kPhoneWait;

std::vector<QString> names(const std::vector<OVViewModelRef>& models)
{
    std::vector<QString> out;
    for (const auto& model : models)
        out.push_back(model->rawfilename());
    return out;
}

bool contains(const std::vector<QString>& list, const QString& name)
{
    return std::find(list.begin(), list.end(), name) != list.end();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

class FileBrowserPhone : public test::PanePhoneFixture {
protected:
    void SetUp() override
    {
        PanePhoneFixture::SetUp();
        Prefs::shared().setValue(QStringLiteral("ShowHiddenFiles"), false);
        Prefs::shared().setValue(QStringLiteral("UseWatchCommand"), false);
    }
    void TearDown() override
    {
        pane.reset();
        PanePhoneFixture::TearDown();
    }

    template <typename Pane = OVFileViewController>
    Pane& open()
    {
        auto made = std::make_unique<Pane>();
        Pane& ref = *made;
        pane = std::move(made);
        pane->setClient(client);
        pane->setViewType(4);
        pane->loadView();
        pane->view()->resize(900, 600);
        pane->view()->show();
        pane->setDeviceDone();
        EXPECT_TRUE(qtWaitUntil([&] { return !pane->items().empty(); }, kLong));
        return ref;
    }
    // Waits until the pane shows `folder` with at least one entry.
    bool waitShowing(const QString& folderName)
    {
        return qtWaitUntil(
            [&] {
                const auto current = pane->currentDirectory();
                return current && current->rawfilename() == folderName && !pane->items().empty() &&
                       pane->items().front()->path().startsWith(current->path());
            },
            kLong);
    }
    OVViewModelRef item(const QString& name)
    {
        for (const auto& model : pane->items())
            if (model->rawfilename() == name)
                return model;
        return nullptr;
    }
    std::unique_ptr<OVFileViewController> pane;
};

TEST_F(FileBrowserPhone, ShowsTheRootInListingOrderWithoutHiddenFiles)
{
    fs::create_directories(phoneRoot() / ".secret");
    open();
    ASSERT_EQ(pane->pathView()->pathComponentCells().size(), 1u);
    EXPECT_EQ(pane->pathView()->pathComponentCells()[0]->title(), L10n::text("AllFiles"));
    const auto shown = names(pane->items());
    EXPECT_FALSE(contains(shown, ".secret"));
    for (const char* folder : {"DCIM", "Download", "Music", "Pictures"})
        EXPECT_TRUE(contains(shown, folder)) << folder;
    EXPECT_TRUE(std::is_sorted(pane->items().begin(), pane->items().end(), [](const auto& a, const auto& b) {
        return a->isDir() && !b->isDir();
    }));
    // One cell per visible entry, none beyond.
    EXPECT_EQ(pane->gridView()->itemCountInSectionIndex(0), static_cast<int64_t>(pane->items().size()));
    EXPECT_FALSE(pane->gridView()->visibleItemViews().isEmpty());

    Prefs::shared().setValue(QStringLiteral("ShowHiddenFiles"), true);
    pane->reloadCurrentViewData();
    EXPECT_TRUE(qtWaitUntil([&] { return contains(names(pane->items()), ".secret"); }, kLong));
    fs::remove_all(phoneRoot() / ".secret");
}

TEST_F(FileBrowserPhone, EntersFoldersAndGoesBackAlongTheTrail)
{
    open();
    pane->doubleClickItem(item("DCIM"));
    ASSERT_TRUE(waitShowing("DCIM"));
    pane->doubleClickItem(item("Camera"));
    ASSERT_TRUE(waitShowing("Camera"));
    EXPECT_EQ(pane->pathView()->pathComponentCells().size(), 3u);

    // Control-Up goes one level up and shortens the trail.
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::ControlModifier);
    pane->collectionViewDidKeyDownEvent(pane->gridView(), &up);
    ASSERT_TRUE(waitShowing("DCIM"));
    EXPECT_EQ(pane->pathView()->pathComponentCells().size(), 2u);

    // Back to the root through the trail: DCIM, where the user came from, is selected.
    pane->pathbarAction(pane->pathView()->pathComponentCells()[0].get());
    ASSERT_TRUE(qtWaitUntil([&] { return pane->selectedItems().size() == 1; }, kLong));
    EXPECT_EQ(pane->selectedItems().front()->rawfilename(), "DCIM");
    EXPECT_EQ(pane->pathView()->pathComponentCells().size(), 1u);

    // Control-Up at the root does nothing.
    pane->collectionViewDidKeyDownEvent(pane->gridView(), &up);
    EXPECT_EQ(pane->pathView()->pathComponentCells().size(), 1u);
}

TEST_F(FileBrowserPhone, AStaleListingNeverReplacesTheFolderOnScreen)
{
    open();
    const auto root = pane->currentDirectory();
    const auto music = item("Music");
    ASSERT_TRUE(music);
    // Enter a folder and leave it again before its listing can have arrived.
    pane->doubleClickItem(music);
    pane->pathbarAction(pane->pathView()->pathComponentCells()[0].get());
    // Music's late answer is kept as its children, but the root stays on screen.
    ASSERT_TRUE(qtWaitUntil([&] { return music->ovfile()->children().has_value() && !pane->items().empty(); }, kLong));
    QCoreApplication::processEvents();
    EXPECT_EQ(pane->currentDirectory(), root);
    EXPECT_EQ(pane->items().size(), root->childrenViewModels().size());
    for (const auto& shown : pane->items())
        EXPECT_EQ(deletingLastPathComponent(shown->path()) + "/", root->path()) << shown->path().toStdString();
}

TEST_F(FileBrowserPhone, ThumbnailsAreAskedForOnlyWhileCellsAreOnScreen)
{
    open();
    pane->doubleClickItem(item("DCIM"));
    ASSERT_TRUE(waitShowing("DCIM"));
    pane->doubleClickItem(item("Camera"));
    ASSERT_TRUE(waitShowing("Camera"));
    // Every picture cell on screen gets its thumbnail; nothing stays observed.
    ASSERT_TRUE(qtWaitUntil(
        [&] {
            for (IBCollectionItemView* view : pane->gridView()->visibleItemViews()) {
                auto* cell = qobject_cast<OVFileItemView*>(view);
                if (cell->representedObject()->isImage() && cell->representedObject()->thumbnail().isNull())
                    return false;
            }
            return pane->observedThumbnailCount() == 0;
        },
        kLong));
    for (IBCollectionItemView* view : pane->gridView()->visibleItemViews()) {
        auto* cell = qobject_cast<OVFileItemView*>(view);
        if (cell->representedObject()->isImage()) {
            EXPECT_TRUE(cell->needIconShadow());
        }
    }
    // Leaving the folder drops every observation.
    pane->pathbarAction(pane->pathView()->pathComponentCells()[0].get());
    EXPECT_EQ(pane->observedThumbnailCount(), 0u);
}

TEST_F(FileBrowserPhone, ListViewExpandsFoldersInPlaceAndRemembersThem)
{
    open();
    pane->viewStyleButton()->setSelectedSegment(OVFileViewController::ListView);
    pane->switchViewAction();
    OVFileOutlineModel* model = pane->listModel();
    ASSERT_EQ(model->rowCount(), static_cast<int>(pane->items().size()));
    const QModelIndex dcim = model->indexOfItem(item("DCIM").get());
    ASSERT_TRUE(dcim.isValid());
    pane->listView()->expand(dcim);
    ASSERT_TRUE(qtWaitUntil([&] { return model->rowCount(model->indexOfItem(item("DCIM").get())) > 0; }, kLong));
    EXPECT_EQ(pane->pathView()->pathComponentCells().size(), 1u);  // the trail is unchanged

    // Into another folder and back: DCIM is expanded again.
    const QString dcimPath = item("DCIM")->path();
    pane->doubleClickItem(item("Music"));
    ASSERT_TRUE(waitShowing("Music"));
    EXPECT_TRUE(pane->expandedItemsArray().contains(dcimPath)) << pane->expandedItemsArray().join(",").toStdString();
    pane->pathbarAction(pane->pathView()->pathComponentCells()[0].get());
    ASSERT_TRUE(qtWaitUntil(
        [&] {
            const auto folder = item("DCIM");
            if (!folder)
                return false;
            const QModelIndex index = model->indexOfItem(folder.get());
            return index.isValid() && pane->listView()->isExpanded(index) && model->rowCount(index) > 0;
        },
        kLong));

    // A sub-folder's row selected in the list, then opened through the menu,
    // puts both levels on the trail.
    const QModelIndex camera = model->index(0, 0, model->indexOfItem(item("DCIM").get()));
    ASSERT_TRUE(camera.isValid());
    pane->listView()->selectionModel()->select(camera, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ASSERT_EQ(pane->selectedItems().size(), 1u);
    const QString opened = pane->selectedItems().front()->rawfilename();
    pane->openMenuAction();
    ASSERT_TRUE(waitShowing(opened));
    ASSERT_EQ(pane->pathView()->pathComponentCells().size(), 3u);
    EXPECT_EQ(pane->pathView()->pathComponentCells()[1]->title(), "DCIM");
}

TEST_F(FileBrowserPhone, SizeColumnSortsFilesLargestFirstThenReverses)
{
    open();
    pane->doubleClickItem(item("Download"));
    ASSERT_TRUE(waitShowing("Download"));
    pane->viewStyleButton()->setSelectedSegment(OVFileViewController::ListView);
    pane->switchViewAction();
    OVFileOutlineModel* model = pane->listModel();
    auto column = [&](int col) {
        std::vector<QString> out;
        for (int row = 0; row < model->rowCount(); ++row)
            out.push_back(model->itemAt(model->index(row, col))->rawfilename());
        return out;
    };
    pane->didClickTableColumn(OVFileOutlineModel::FileSize);
    const auto ascending = column(0);
    ASSERT_FALSE(ascending.empty());
    for (int row = 1; row < model->rowCount(); ++row) {
        const auto a = model->itemAt(model->index(row - 1, 0));
        const auto b = model->itemAt(model->index(row, 0));
        if (!a->isDir() && !b->isDir()) {
            EXPECT_GE(a->filesize(), b->filesize());
        }
        EXPECT_FALSE(a->isDir() && !b->isDir());
    }
    pane->didClickTableColumn(OVFileOutlineModel::FileSize);
    auto descending = column(0);
    std::reverse(descending.begin(), descending.end());
    EXPECT_EQ(descending, ascending);
    EXPECT_EQ(pane->listView()->header()->sortIndicatorOrder(), Qt::DescendingOrder);
}

TEST_F(FileBrowserPhone, DroppedFilesAreImportedIntoTheShownFolderOrTheFolderUnderThem)
{
    fs::create_directories(phoneRoot() / "DropHere/inner");
    open();
    pane->doubleClickItem(item("DropHere"));
    ASSERT_TRUE(waitShowing("DropHere"));
    {
        QFile f(local.filePath("one.txt"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("one");
    }
    {
        QFile f(local.filePath("two.txt"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("two");
    }
    // Onto empty space: into the shown folder, which is listed again.
    ASSERT_TRUE(pane->importDroppedFiles({local.filePath("one.txt")}, nullptr));
    ASSERT_TRUE(qtWaitUntil([&] { return item("one.txt") != nullptr; }, kLong));
    // Onto a folder cell: into that folder.
    ASSERT_TRUE(qtWaitUntil([&] { return !pane->isTransferRunning(); }, kLong));
    ASSERT_TRUE(pane->importDroppedFiles({local.filePath("two.txt")}, item("inner")));
    ASSERT_TRUE(qtWaitUntil([&] { return !pane->isTransferRunning(); }, kLong));
    EXPECT_EQ(readFile(QString::fromStdString((phoneRoot() / "DropHere/inner/two.txt").string())), "two");
    EXPECT_EQ(readFile(QString::fromStdString((phoneRoot() / "DropHere/one.txt").string())), "one");
    // Nothing to import: refused.
    EXPECT_FALSE(pane->importDroppedFiles({}, nullptr));
    fs::remove_all(phoneRoot() / "DropHere");
}

TEST_F(FileBrowserPhone, APushedChangeListsTheWatchedFolderAgainOnceSettled)
{
    Prefs::shared().setValue(QStringLiteral("UseWatchCommand"), true);
    fs::create_directories(phoneRoot() / "Watched");
    sim->putFile(sim->serial(), "/sdcard/Watched/first.txt", "1");
    open();
    pane->setWatchSettleMs(200);
    pane->doubleClickItem(item("Watched"));
    ASSERT_TRUE(waitShowing("Watched"));
    ASSERT_TRUE(pane->lastMonitorDir());
    EXPECT_EQ(pane->lastMonitorDir()->rawfilename(), "Watched");
    // The phone reports a new file: after the reports settle the folder is listed again.
    ASSERT_TRUE(qtWaitUntil(
        [&] {
            const auto alive = sim->keepAlive(sim->serial());
            return alive.dump().find("Watched") != std::string::npos;
        },
        kLong));
    sim->putFile(sim->serial(), "/sdcard/Watched/second.txt", "2");
    ASSERT_TRUE(qtWaitUntil([&] { return item("second.txt") != nullptr; }, kLong));
    fs::remove_all(phoneRoot() / "Watched");
}

TEST_F(FileBrowserPhone, PreviewCopiesTheFileAndRemovesTheCopyWhenClosed)
{
    open();
    pane->doubleClickItem(item("Download"));
    ASSERT_TRUE(waitShowing("Download"));
    const auto notes = item("notes.txt");
    ASSERT_TRUE(notes);
    // A folder is never previewed.
    pane->quickLookPreviewItem(item("Download") ? item("Download") : pane->currentDirectory(), false);
    EXPECT_FALSE(OVPreviewWindow::sharedPreviewPanelExists() && OVPreviewWindow::sharedPreviewPanel()->isVisible());

    pane->quickLookPreviewItem(notes, false);
    OVPreviewWindow* panel = OVPreviewWindow::sharedPreviewPanel();
    EXPECT_TRUE(panel->isVisible());
    ASSERT_TRUE(qtWaitUntil([&] { return !panel->item().localPath.isEmpty(); }, kLong));
    const QString copy = panel->item().localPath;
    EXPECT_EQ(readFile(copy), "shopping: bread, milk\n");
    EXPECT_EQ(panel->kind(), OVPreviewWindow::Kind::Text);
    EXPECT_FALSE(pane->isQuickLookCopyRunning());

    // Space again closes the window; the copy goes with it.
    pane->quickLookPreviewItem(notes, false);
    EXPECT_FALSE(panel->isVisible());
    EXPECT_FALSE(QFileInfo::exists(copy));
    EXPECT_FALSE(pane->quicklookItem());
}

TEST_F(FileBrowserPhone, MovingThePreviewToAnotherItemDropsTheFirstCopy)
{
    open();
    pane->doubleClickItem(item("Download"));
    ASSERT_TRUE(waitShowing("Download"));
    pane->quickLookPreviewItem(item("notes.txt"), false);
    OVPreviewWindow* panel = OVPreviewWindow::sharedPreviewPanel();
    ASSERT_TRUE(qtWaitUntil([&] { return !panel->item().localPath.isEmpty(); }, kLong));
    const QString first = panel->item().localPath;
    pane->quickLookPreviewItem(item("wallpaper.jpg"), true);
    EXPECT_FALSE(QFileInfo::exists(first));
    ASSERT_TRUE(qtWaitUntil([&] { return panel->item().localPath.endsWith("wallpaper.jpg"); }, kLong));
    EXPECT_EQ(panel->kind(), OVPreviewWindow::Kind::Image);
    panel->close();
    EXPECT_FALSE(pane->quicklookItem());
}

TEST_F(FileBrowserPhone, RenamesOneEntryAndRefusesNamesThePhoneCannotTake)
{
    std::vector<Error> presented;
    OVMainWindowController::setErrorPresenter([&](const Error& e, QWidget*) { presented.push_back(e); });
    fs::create_directories(phoneRoot() / "Renaming");
    sim->putFile(sim->serial(), "/sdcard/Renaming/old name.txt", "words");
    sim->putFile(sim->serial(), "/sdcard/Renaming/taken.txt", "keep me");
    open();
    pane->doubleClickItem(item("Renaming"));
    ASSERT_TRUE(waitShowing("Renaming"));
    const int index = static_cast<int>(std::find(pane->items().begin(), pane->items().end(), item("old name.txt")) -
                                       pane->items().begin());
    pane->gridView()->selectItemWithIndexSet(IBSectionIndexSet(0, index));
    ASSERT_EQ(pane->selectedItems().size(), 1u);

    // Refused before the phone is asked: nothing changes.
    for (const char* bad : {"a/b", "..", "two\nlines", ""}) {
        dialogs.newName = *bad ? QString::fromUtf8(bad) : QStringLiteral("");
        ASSERT_FALSE(dialogs.newName.isNull());
        dialogs.messages.clear();
        pane->renameMenuAction();
        EXPECT_EQ(dialogs.messages.size(), 1) << bad;
    }
    EXPECT_TRUE(fs::exists(phoneRoot() / "Renaming/old name.txt"));

    // A name already taken is the phone's error; the other file is kept.
    dialogs.newName = "taken.txt";
    pane->renameMenuAction();
    ASSERT_TRUE(qtWaitUntil([&] { return !presented.empty(); }, kLong));
    EXPECT_EQ(readFile(QString::fromStdString((phoneRoot() / "Renaming/taken.txt").string())), "keep me");

    // The Rename button alone renames; a closed dialog (null) keeps the name.
    dialogs.newName = QString();
    pane->renameMenuAction();
    EXPECT_EQ(dialogs.renameQuestions.size(), 6);
    dialogs.newName = "new $name `x`.txt";
    pane->gridView()->selectItemWithIndexSet(IBSectionIndexSet(0, index));
    pane->renameMenuAction();
    ASSERT_TRUE(qtWaitUntil([&] { return item("new $name `x`.txt") != nullptr; }, kLong));
    EXPECT_EQ(readFile(QString::fromStdString((phoneRoot() / "Renaming/new $name `x`.txt").string())), "words");
    EXPECT_FALSE(item("old name.txt"));
    OVMainWindowController::setErrorPresenter({});
    fs::remove_all(phoneRoot() / "Renaming");
}

TEST_F(FileBrowserPhone, DownloadPaneStartsAtTheDownloadFolder)
{
    open<OVDownloadViewController>();
    ASSERT_EQ(pane->pathView()->pathComponentCells().size(), 1u);
    EXPECT_EQ(pane->currentDirectory()->rawfilename().toLower(), "download");
    EXPECT_TRUE(item("notes.txt") != nullptr);
    // Control-Up never leaves the Download folder.
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::ControlModifier);
    pane->collectionViewDidKeyDownEvent(pane->gridView(), &up);
    EXPECT_EQ(pane->pathView()->pathComponentCells().size(), 1u);
}

TEST(FileBrowserUnplug, AListingThatFailsShowsItsReasonAndAnEmptyFolder)
{
    L10n::setTable({{"ListingFailed", "%@ could not be listed: %@"}});
    auto sim = phonesim::Simulator::start();
    setResourceDirectory(sim->resourceDir().string());
    auto device = std::make_shared<OVDeviceClient>();
    std::optional<std::optional<Error>> loaded;
    device->updateWithSerialNumber(sim->serial(), [&](std::optional<Error> e) { loaded = e; });
    ASSERT_TRUE(qtWaitUntil([&] { return loaded.has_value(); }, kLong));
    {
        OVFileViewController pane;
        pane.setClient(device);
        pane.loadView();
        pane.view()->resize(900, 600);
        pane.setDeviceDone();
        ASSERT_TRUE(qtWaitUntil([&] { return !pane.items().empty(); }, kLong));
        OVViewModelRef dcim;
        for (const auto& model : pane.items())
            if (model->rawfilename() == "DCIM")
                dcim = model;
        ASSERT_TRUE(dcim);
        sim.reset();  // the phone goes away
        pane.doubleClickItem(dcim);
        ASSERT_TRUE(qtWaitUntil([&] { return !pane.listingError().isEmpty(); }, kLong));
        EXPECT_TRUE(pane.listingError().contains("DCIM")) << pane.listingError().toStdString();
        EXPECT_TRUE(pane.items().empty()) << pane.items().size() << " " << (pane.items().empty() ? std::string() : pane.items().front()->path().toStdString());
        EXPECT_EQ(pane.currentDirectory(), dcim);
    }
    device.reset();
    orv::test::settleReleasedWork();
}

TEST(FilePaneRegistration, TheWindowMakesTheFilePanesByLayoutName)
{
    PaneFactoryRegistry registry;
    registerFilePanes(registry);
    auto files = registry.make(QStringLiteral("OVFileViewController"));
    auto downloads = registry.make(QStringLiteral("OVDownloadViewController"));
    EXPECT_TRUE(dynamic_cast<OVFileViewController*>(files.get()));
    EXPECT_TRUE(dynamic_cast<OVDownloadViewController*>(downloads.get()));
}

}  // namespace
}  // namespace orv
