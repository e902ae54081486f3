// The Music pane against the simulated phone through the real device client:
// the three modes list what the phone has, column sorts keep the selection,
// the folders outline groups songs and keeps its expanded rows, a folder row
// stands for its songs only (delete and export never take the phone folder),
// whole albums export into safely named folders without replacing anything
// unasked, dropped files are filtered by extension, fetches are throttled
// into one trailing fetch, and the album popover lists, deletes and closes.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QScrollBar>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "tests/app/panes/PanePhoneFixture.h"
#include "QtWait.h"
#include "app/media/MediaPaneRegistration.h"
#include "app/media/OVAudioFolderModel.h"
#include "app/media/OVAudioViewController.h"
#include "app/media/OVSongListViewController.h"
#include "app/media/OVSongTableModel.h"
#include "app/panes/OVDragOutMimeData.h"
#include "app/panes/OVOutlineView.h"
#include "app/panes/OVPreviewWindow.h"
#include "app/shell/PaneFactoryRegistry.h"
#include "app/shell/Prefs.h"
#include "app/toolkit/IBCollectionView.h"
#include "app/toolkit/OVBPopover.h"
#include "app/toolkit/OVSegButton.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/model/OVAudioFile.h"

namespace orv {
namespace {

using test::qtWaitUntil;
namespace fs = std::filesystem;
constexpr auto kLong = test::kPhoneWait;

QStringList titles(const std::vector<std::shared_ptr<OVAudioViewModel>>& songs)
{
    QStringList out;
    for (const auto& song : songs)
        out << song->title();
    return out;
}

std::string readBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

QStringList entriesBelow(const QString& folder)
{
    QStringList out;
    const QDir root(folder);
    for (const QFileInfo& info : root.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
        out << info.fileName();
    out.sort();
    return out;
}

class MusicPanePhone : public test::PanePhoneFixture {
protected:
    void SetUp() override
    {
        PanePhoneFixture::SetUp();
        Prefs::shared().setValue(QStringLiteral("UseSoundEffect"), true);
    }
    void TearDown() override
    {
        pane.reset();
        PanePhoneFixture::TearDown();
    }

    OVAudioViewController& open(int mode = OVAudioViewController::SongsMode)
    {
        pane = std::make_unique<OVAudioViewController>();
        pane->setClient(client);
        pane->setViewType(2);
        pane->loadView();
        pane->view()->resize(900, 600);
        pane->view()->show();
        pane->segButton()->setSelectedSegment(mode);
        pane->setDeviceDone();
        EXPECT_TRUE(qtWaitUntil([&] { return !pane->items().empty(); }, kLong));
        return *pane;
    }
    void switchTo(int mode)
    {
        pane->segButton()->setSelectedSegment(mode);
        pane->swichShowMode();
    }
    // Fetches again (past the throttle) and waits until the songs satisfy `ready`.
    bool refetchUntil(const std::function<bool()>& ready)
    {
        return qtWaitUntil(
            [&] {
                if (ready())
                    return true;
                if (!pane->isTrailingReloadPending())
                    pane->requestReload(OVAudioViewController::ReloadTrigger::Push);
                return false;
            },
            kLong);
    }
    std::shared_ptr<OVAudioViewModel> song(const QString& title)
    {
        for (const auto& item : pane->items())
            if (item->title() == title)
                return item;
        return nullptr;
    }
    int folderRow(const QString& name)
    {
        const auto& folders = pane->audioFolders();
        for (size_t row = 0; row < folders.size(); ++row)
            if (folders[row]->rawfilename() == name)
                return static_cast<int>(row);
        return -1;
    }
    void selectFolderRow(int row)
    {
        const QModelIndex index = pane->outlineModel()->index(row, 0);
        pane->outlineView()->selectionModel()->select(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    void selectSongRows(const QList<int>& rows)
    {
        QItemSelection selection;
        for (int row : rows)
            selection.select(pane->tableModel()->index(row, 0),
                             pane->tableModel()->index(row, OVSongTableModel::ColumnCount - 1));
        pane->tableView()->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    }
    static std::string songBytes() { return readPhoneFile("Music/voice memo.mp3"); }
    bool transferDone()
    {
        return qtWaitUntil([&] { return !pane->isTransferRunning() && !pane->isAlbumExportRunning(); }, kLong);
    }

    std::unique_ptr<OVAudioViewController> pane;
};

TEST_F(MusicPanePhone, RegisteredUnderItsLayoutName)
{
    PaneFactoryRegistry registry;
    registerMediaPanes(registry);
    EXPECT_TRUE(dynamic_cast<OVAudioViewController*>(registry.make(QStringLiteral("OVAudioViewController")).get()));
}

TEST_F(MusicPanePhone, EachModeListsWhatThePhoneHas)
{
    open();
    EXPECT_EQ(pane->items().size(), 8u);
    for (const char* title : {"Slow Tide", "Beacon", "Low Water", "Crossing", "Deck Lamps", "Updraft", "String Theory",
                              "voice memo"})
        EXPECT_TRUE(song(QString::fromLatin1(title))) << title;
    EXPECT_EQ(pane->tableModel()->rowCount(), 8);
    EXPECT_EQ(pane->tableModel()->data(pane->tableModel()->index(0, OVSongTableModel::Time), Qt::DisplayRole)
                  .toString()
                  .count(QLatin1Char(':')),
              1);

    switchTo(OVAudioViewController::FoldersMode);
    EXPECT_EQ(pane->firstResponder(), pane->outlineView());
    // One row per folder holding songs, in the order of each folder's first song.
    ASSERT_EQ(pane->audioFolders().size(), 4u);
    const int harbour = folderRow(QStringLiteral("Harbour Lights"));
    ASSERT_GE(harbour, 0);
    EXPECT_EQ(OVAudioViewController::folderSongCount(*pane->audioFolders()[size_t(harbour)]), 3u);
    EXPECT_EQ(pane->outlineModel()->rowCount(pane->outlineModel()->index(harbour, 0)), 3);
    EXPECT_EQ(OVAudioFolderModel::cellText(*pane->audioFolders()[size_t(harbour)], true, OVAudioFolderModel::SongNum),
              "3");

    switchTo(OVAudioViewController::AlbumsMode);
    EXPECT_EQ(pane->firstResponder(), pane->gridView());
    ASSERT_TRUE(qtWaitUntil([&] { return pane->albumItems().size() >= 3; }, kLong));
    EXPECT_EQ(pane->gridView()->itemCountInSectionIndex(0), static_cast<int64_t>(pane->albumItems().size()));
    EXPECT_FALSE(pane->gridView()->visibleItemViews().isEmpty());

    // Choosing the mode that is set up asks for nothing.
    const int requests = pane->reloadRequestCount();
    pane->swichShowMode();
    EXPECT_EQ(pane->reloadRequestCount(), requests);
}

TEST_F(MusicPanePhone, ColumnSortsKeepTheSelectedSongs)
{
    open();
    const auto memo = song(QStringLiteral("voice memo"));
    for (size_t row = 0; row < pane->items().size(); ++row)
        if (pane->items()[row] == memo)
            selectSongRows({static_cast<int>(row)});

    // Keys the table leaves to itself: Space without a selection, Backspace alone.
    pane->tableView()->clearSelection();
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    EXPECT_FALSE(pane->keyDownEvent(pane->tableView(), &space));
    QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    EXPECT_FALSE(pane->keyDownEvent(pane->tableView(), &backspace));
    for (size_t row = 0; row < pane->items().size(); ++row)
        if (pane->items()[row] == memo)
            selectSongRows({static_cast<int>(row)});

    pane->didClickTableColumn(OVSongTableModel::Name);
    QStringList sorted = titles(pane->items());
    QStringList expected = sorted;
    std::sort(expected.begin(), expected.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    EXPECT_EQ(sorted, expected);
    pane->didClickTableColumn(OVSongTableModel::Name);
    std::reverse(expected.begin(), expected.end());
    EXPECT_EQ(titles(pane->items()), expected);
    ASSERT_EQ(pane->selectedItems().size(), 1u);
    EXPECT_EQ(pane->selectedItems().front(), memo);

    // A new column starts ascending: for the duration that is the longest first.
    pane->didClickTableColumn(OVSongTableModel::Time);
    EXPECT_FALSE(pane->tableView()->sortDescending());
    EXPECT_TRUE(std::is_sorted(pane->items().begin(), pane->items().end(),
                               [](const auto& a, const auto& b) { return a->duration() > b->duration(); }));
    EXPECT_EQ(pane->items().back(), memo);
    EXPECT_EQ(pane->selectedItems().front(), memo);
}

TEST_F(MusicPanePhone, FolderSortsAndExpandedRowsSurviveARebuild)
{
    open(OVAudioViewController::FoldersMode);
    ASSERT_TRUE(qtWaitUntil([&] { return pane->audioFolders().size() == 4; }, kLong));
    const int harbour = folderRow(QStringLiteral("Harbour Lights"));
    pane->outlineView()->expand(pane->outlineModel()->index(harbour, 0));

    pane->outlineViewDidClickTableColumn(OVAudioFolderModel::SongNum);
    EXPECT_EQ(pane->audioFolders().front()->rawfilename(), "Harbour Lights");
    pane->outlineViewDidClickTableColumn(OVAudioFolderModel::SongNum);
    EXPECT_TRUE(pane->outlineView()->sortDescending());
    EXPECT_EQ(pane->audioFolders().back()->rawfilename(), "Harbour Lights");
    EXPECT_TRUE(pane->outlineView()->isExpanded(pane->outlineModel()->index(folderRow("Harbour Lights"), 0)));

    // A rebuild sorts again by the column, ascending, and keeps the folder open.
    pane->resetAudioFolder();
    EXPECT_EQ(pane->audioFolders().front()->rawfilename(), "Harbour Lights");
    EXPECT_TRUE(pane->outlineView()->isExpanded(pane->outlineModel()->index(0, 0)));
}

// A folder row lists only songs; deleting it must not take the folder's other files.
TEST_F(MusicPanePhone, DeletingAFolderRowDeletesItsSongsOnly)
{
    const std::string bytes = songBytes();
    sim->putFile(sim->serial(), "/sdcard/Music/Keep Me/tune.mp3", bytes);
    sim->putFile(sim->serial(), "/sdcard/Music/Keep Me/lyrics.txt", "words");
    sim->putFile(sim->serial(), "/sdcard/Music/Keep Me/Inner/other.mp3", bytes);
    open(OVAudioViewController::FoldersMode);
    ASSERT_TRUE(refetchUntil([&] { return folderRow(QStringLiteral("Keep Me")) >= 0; }));
    const int row = folderRow(QStringLiteral("Keep Me"));
    ASSERT_EQ(OVAudioViewController::folderSongCount(*pane->audioFolders()[size_t(row)]), 1u);
    selectFolderRow(row);
    ASSERT_EQ(pane->selectedItems().size(), 1u);

    dialogs.deleteQuestions.clear();
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_TRUE(pane->keyDown(pane->outlineView(), &key));
    ASSERT_EQ(dialogs.deleteQuestions.size(), 1);
    EXPECT_TRUE(dialogs.deleteQuestions.front().contains(QLatin1String("1 file"))) << dialogs.deleteQuestions.front().toStdString();
    ASSERT_TRUE(transferDone());
    ASSERT_TRUE(qtWaitUntil([&] { return !fs::exists(phoneRoot() / "Music/Keep Me/tune.mp3"); }, kLong));
    EXPECT_TRUE(fs::exists(phoneRoot() / "Music/Keep Me/lyrics.txt"));
    EXPECT_TRUE(fs::exists(phoneRoot() / "Music/Keep Me/Inner/other.mp3"));
    fs::remove_all(phoneRoot() / "Music/Keep Me");
}

TEST_F(MusicPanePhone, ExportingAFolderRowCopiesItsSongsOnly)
{
    const std::string bytes = songBytes();
    sim->putFile(sim->serial(), "/sdcard/Music/Export Me/song.mp3", bytes);
    sim->putFile(sim->serial(), "/sdcard/Music/Export Me/notes.txt", "not a song");
    open(OVAudioViewController::FoldersMode);
    ASSERT_TRUE(refetchUntil([&] { return folderRow(QStringLiteral("Export Me")) >= 0; }));
    selectFolderRow(folderRow(QStringLiteral("Export Me")));
    pane->doExport(local.path(), nullptr);
    ASSERT_TRUE(transferDone());
    EXPECT_EQ(entriesBelow(local.path()), QStringList{"song.mp3"});
    EXPECT_EQ(readBytes(fs::path(local.path().toStdString()) / "song.mp3"), bytes);
    fs::remove_all(phoneRoot() / "Music/Export Me");
}

// Album names come from the songs' tags: they name folders only after being made safe.
TEST_F(MusicPanePhone, AlbumExportNamesFoldersSafelyAndAsksBeforeReplacing)
{
    open();
    const auto tide = song(QStringLiteral("Slow Tide"));
    const auto beacon = song(QStringLiteral("Beacon"));
    ASSERT_TRUE(tide && beacon);
    auto album = [&](const std::string& name, const std::shared_ptr<OVAudioViewModel>& member) {
        auto record = std::make_shared<OVAudioAlbum>();
        record->setName(name);
        record->setPath(member->path().toStdString());
        record->setChildren(std::vector<OVFileRef>{member->ovfile()});
        return OVAudioAlbumViewModel::make(record, member->serialNumber());
    };
    const QString chosen = local.path() + QStringLiteral("/chosen");
    ASSERT_TRUE(QDir().mkpath(chosen + QStringLiteral("/Existing")));
    QFile marker(chosen + QStringLiteral("/Existing/mine.txt"));
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    marker.write("mine");
    marker.close();

    dialogs.clashAnswers = {PaneDialogs::ClashAnswer::KeepBoth};
    std::optional<std::optional<Error>> finished;
    pane->downloadAlbums({album("AC/DC", tide), album("../../escape", beacon), album("Existing", tide)}, chosen,
                         [&](std::optional<Error> error) { finished = error; });
    // One transfer at a time: nothing else starts while the albums copy.
    ASSERT_TRUE(pane->isAlbumExportRunning());
    EXPECT_FALSE(pane->importDroppedPaths({QString::fromStdString((phoneRoot() / "Music/voice memo.mp3").string())}));
    dialogs.messages.clear();
    selectSongRows({0});
    pane->doDelete(pane->selectedItems(), nullptr);
    EXPECT_FALSE(pane->isTransferRunning());
    pane->downloadAlbums({album("Other", beacon)}, chosen, nullptr);
    // Each refusal says so.
    EXPECT_EQ(dialogs.messages.size(), 2);
    ASSERT_TRUE(qtWaitUntil([&] { return finished.has_value(); }, kLong));
    ASSERT_FALSE(*finished) << (*finished)->description();
    EXPECT_EQ(dialogs.clashes.size(), 1);
    // Nothing left the chosen folder, nothing there was replaced, no staging left behind.
    EXPECT_EQ(entriesBelow(local.path()), QStringList{"chosen"});
    EXPECT_EQ(entriesBelow(chosen), (QStringList{".._.._escape", "AC_DC", "Existing", "Existing_1"}));
    EXPECT_EQ(entriesBelow(chosen + QStringLiteral("/Existing")), QStringList{"mine.txt"});
    EXPECT_EQ(entriesBelow(chosen + QStringLiteral("/AC_DC")), QStringList{QFileInfo(tide->path()).fileName()});
    EXPECT_EQ(entriesBelow(chosen + QStringLiteral("/Existing_1")), QStringList{QFileInfo(tide->path()).fileName()});
    ASSERT_FALSE(sounds.played.empty());
    EXPECT_EQ(sounds.played.back(), PaneSounds::Sound::Complete);

    // Stop on the clash question copies nothing.
    dialogs.clashAnswers = {PaneDialogs::ClashAnswer::Stop};
    finished.reset();
    pane->downloadAlbums({album("Existing", beacon)}, chosen, [&](std::optional<Error> error) { finished = error; });
    ASSERT_TRUE(finished.has_value());
    EXPECT_EQ(entriesBelow(chosen + QStringLiteral("/Existing")), QStringList{"mine.txt"});
}

TEST_F(MusicPanePhone, DropsImportOnlyMusicFilesWithTheirExactExtension)
{
    open();
    const QString upper = local.path() + QStringLiteral("/LOUD.MP3");
    const QString text = local.path() + QStringLiteral("/readme.txt");
    const QString good = local.path() + QStringLiteral("/dropped song.mp3");
    for (const QString& path : {upper, text, good}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromStdString(songBytes()));
    }
    EXPECT_FALSE(pane->importDroppedPaths({upper}));
    EXPECT_FALSE(pane->importDroppedPaths({text}));
    EXPECT_TRUE(pane->importDroppedPaths({text, good, upper}));
    ASSERT_TRUE(transferDone());
    ASSERT_TRUE(qtWaitUntil([&] { return fs::exists(phoneRoot() / "Music/dropped song.mp3"); }, kLong));
    EXPECT_FALSE(fs::exists(phoneRoot() / "Music/readme.txt"));
    EXPECT_FALSE(fs::exists(phoneRoot() / "Music/LOUD.MP3"));
    fs::remove(phoneRoot() / "Music/dropped song.mp3");
}

// Requests inside the interval are not lost: they become one fetch when it is up.
TEST_F(MusicPanePhone, ReloadsInsideTheIntervalBecomeOneTrailingFetch)
{
    open();
    ASSERT_TRUE(qtWaitUntil(
        [&] { return !pane->isTrailingReloadPending() && !pane->isFetchScheduled() && !pane->isThrottled(); }, kLong));
    const int before = pane->fetchCount();
    pane->requestReload(OVAudioViewController::ReloadTrigger::Push);
    EXPECT_TRUE(pane->isFetchScheduled());
    ASSERT_TRUE(qtWaitUntil([&] { return pane->fetchCount() == before + 1; }, kLong));
    // A push with nothing in it means "fetch again" as much as one with changes.
    pane->deviceLibraryCallback(std::nullopt);
    pane->deviceLibraryCallback(OVLibraryChange{});
    EXPECT_TRUE(pane->isTrailingReloadPending());
    EXPECT_EQ(pane->fetchCount(), before + 1);
    ASSERT_TRUE(qtWaitUntil([&] { return pane->fetchCount() == before + 2; }, kLong));
    EXPECT_FALSE(pane->isTrailingReloadPending());
    EXPECT_FALSE(pane->isFetchScheduled());
    ASSERT_TRUE(qtWaitUntil([&] { return !pane->isThrottled(); }, kLong));

    // A reload after a delete, an import or a user's request waits a moment first.
    pane->requestReload(OVAudioViewController::ReloadTrigger::Delete);
    EXPECT_EQ(pane->fetchCount(), before + 2);
    ASSERT_TRUE(qtWaitUntil([&] { return pane->fetchCount() == before + 3; }, kLong));
}

TEST_F(MusicPanePhone, AlbumTilesWaitForTheirCoversAndTheClickOpensTheSongList)
{
    open(OVAudioViewController::AlbumsMode);
    ASSERT_TRUE(qtWaitUntil([&] { return pane->gridView()->visibleItemViews().size() >= 3; }, kLong));
    // Covers are asked for at most once per album; clean-up stops every wait.
    EXPECT_LE(pane->observedThumbnailCount(), pane->albumItems().size());
    pane->cleanThumbnailObservers();
    EXPECT_EQ(pane->observedThumbnailCount(), 0u);
    for (const auto& album : pane->albumItems())
        EXPECT_FALSE(album->observerThumbnailLoading());

    int harbour = -1;
    for (size_t i = 0; i < pane->albumItems().size(); ++i)
        if (pane->albumItems()[i]->albumName() == QLatin1String("Harbour Lights"))
            harbour = static_cast<int>(i);
    ASSERT_GE(harbour, 0);
    const IBSectionIndexSet pair(0, harbour);
    ASSERT_TRUE(qtWaitUntil([&] { return pane->gridView()->itemViewWithIndexSet(pair) != nullptr; }, kLong));
    auto* tile = qobject_cast<OVAudioAlbumItemView*>(pane->gridView()->itemViewWithIndexSet(pair));
    ASSERT_TRUE(tile);
    EXPECT_EQ(tile->title(), "Harbour Lights");
    EXPECT_EQ(tile->number(), 3u);

    pane->collectionViewDidClickItemView(pane->gridView(), pair);
    OVSongListViewController* list = pane->songlistViewController();
    ASSERT_TRUE(list);
    EXPECT_EQ(list->albumViewModel(), pane->albumItems()[size_t(harbour)]);
    EXPECT_EQ(list->songlistView()->model()->rowCount(), 3);
    EXPECT_TRUE(pane->popover()->isVisible());
    EXPECT_EQ(pane->popover()->contentWidget()->size(), QSize(230, 147));
    // Right after it appeared, a click elsewhere does not close it.
    EXPECT_FALSE(pane->popoverShouldClose());

    // A fetch while it is open points the list at the album's new record.
    const auto old = pane->albumItems()[size_t(harbour)];
    ASSERT_TRUE(refetchUntil([&] {
        return std::none_of(pane->albumItems().begin(), pane->albumItems().end(),
                            [&](const auto& album) { return album == old; });
    }));
    ASSERT_TRUE(list->albumViewModel());
    EXPECT_NE(list->albumViewModel(), old);
    EXPECT_EQ(list->albumViewModel()->albumName(), "Harbour Lights");
    EXPECT_EQ(list->songlistView()->model()->rowCount(), 3);

    // A right click on a row outside the selection makes it the selection;
    // Control-Backspace asks to delete it.
    list->songlistView()->selectRow(0);
    EXPECT_EQ(list->menuForRow(2), list->menu());
    ASSERT_EQ(list->selectedItems().size(), 1u);
    EXPECT_TRUE(list->selectedItems().front()->path().endsWith(QLatin1String("03 Low Water.mp3")));
    dialogs.confirm = false;
    dialogs.deleteQuestions.clear();
    QKeyEvent erase(QEvent::KeyPress, Qt::Key_Backspace, Qt::ControlModifier);
    EXPECT_TRUE(list->keyDownEvent(&erase));
    EXPECT_EQ(dialogs.deleteQuestions.size(), 1);
    QKeyEvent plain(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    EXPECT_FALSE(list->keyDownEvent(&plain));

    // Open in the list opens the first selected song only.
    list->songlistView()->selectRow(0);
    list->songlistView()->selectionModel()->select(list->songlistView()->model()->index(1, 0),
                                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    ASSERT_EQ(list->selectedItems().size(), 2u);
    list->openMenuAction();
    ASSERT_TRUE(qtWaitUntil([&] { return !launcher.launches.isEmpty() && !list->isTransferRunning(); }, kLong));
    EXPECT_EQ(launcher.launches.size(), 1);
}

TEST_F(MusicPanePhone, DeletingFromTheSongListRemovesTheSongsAndClosesThePopover)
{
    const std::string bytes = songBytes();
    open(OVAudioViewController::AlbumsMode);
    ASSERT_TRUE(qtWaitUntil([&] { return pane->gridView()->visibleItemViews().size() >= 1; }, kLong));
    auto album = pane->albumItems().front();
    const size_t songs = album->songs().size();
    ASSERT_GE(songs, 1u);
    const QString victim = QString::fromStdString(album->songs().front()->path());
    pane->collectionViewDidClickItemView(pane->gridView(), IBSectionIndexSet(0, 0));
    OVSongListViewController* list = pane->songlistViewController();
    ASSERT_TRUE(list);
    list->songlistView()->selectRow(0);
    dialogs.deleteQuestions.clear();
    list->deleteMenuAction();
    ASSERT_EQ(dialogs.deleteQuestions.size(), 1);
    ASSERT_TRUE(qtWaitUntil([&] { return album->songs().size() == songs - 1; }, kLong));
    EXPECT_FALSE(pane->popover()->isVisible() && pane->popover()->popoverWindow()->windowOpacity() >= 1.0);
    // Put it back for the cases after this one.
    const QString relative = victim.mid(victim.indexOf(QLatin1String("/Music/")) + 1);
    EXPECT_FALSE(fs::exists(phoneRoot() / relative.toStdString()));
    sim->putFile(sim->serial(), "/sdcard/" + relative.toStdString(), bytes);
}

TEST_F(MusicPanePhone, TheMenuOpensSongsButNotFoldersOrAlbums)
{
    open(OVAudioViewController::FoldersMode);
    ASSERT_TRUE(qtWaitUntil([&] { return pane->audioFolders().size() >= 4; }, kLong));
    auto shown = [&](int tag) {
        emit pane->rightClickMenu()->aboutToShow();
        for (QAction* action : pane->rightClickMenu()->actions())
            if (action->data().isValid() && action->data().toInt() == tag)
                return action->isVisible();
        return false;
    };
    selectFolderRow(0);
    EXPECT_FALSE(shown(OVRightViewController::MenuOpen));
    EXPECT_TRUE(shown(OVRightViewController::MenuDelete));
    // The separator that would now head the menu is hidden.
    for (QAction* action : pane->rightClickMenu()->actions()) {
        if (action->isVisible()) {
            EXPECT_FALSE(action->isSeparator());
            break;
        }
    }
    const QModelIndex first = pane->outlineModel()->index(0, 0);
    pane->outlineView()->expand(first);
    pane->outlineView()->selectionModel()->select(pane->outlineModel()->index(0, 0, first),
                                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ASSERT_EQ(pane->selectedItems().size(), 1u);
    EXPECT_TRUE(pane->selectedItems().front()->isAudio());
    EXPECT_TRUE(shown(OVRightViewController::MenuOpen));
}

// Deleting an album asks about the songs that will go, not about "1 file".
TEST_F(MusicPanePhone, DeletingAnAlbumCountsItsSongsInTheQuestion)
{
    open(OVAudioViewController::AlbumsMode);
    ASSERT_TRUE(qtWaitUntil([&] { return pane->albumItems().size() >= 3; }, kLong));
    int harbour = -1;
    for (size_t i = 0; i < pane->albumItems().size(); ++i)
        if (pane->albumItems()[i]->albumName() == QLatin1String("Harbour Lights"))
            harbour = static_cast<int>(i);
    ASSERT_GE(harbour, 0);
    pane->gridView()->selectItemWithIndexSet(IBSectionIndexSet(0, harbour));
    dialogs.confirm = false;
    dialogs.deleteQuestions.clear();
    pane->deleteAction();
    ASSERT_EQ(dialogs.deleteQuestions.size(), 1);
    EXPECT_TRUE(dialogs.deleteQuestions.front().contains(QLatin1String("3 files")))
        << dialogs.deleteQuestions.front().toStdString();
    EXPECT_FALSE(pane->isTransferRunning());
}

// Files dropped on an album's tile go where the album's songs are.
TEST_F(MusicPanePhone, FilesDroppedOnAnAlbumGoToItsFolder)
{
    open(OVAudioViewController::AlbumsMode);
    ASSERT_TRUE(qtWaitUntil([&] { return pane->albumItems().size() >= 3; }, kLong));
    std::shared_ptr<OVAudioAlbumViewModel> ferry;
    for (const auto& album : pane->albumItems())
        if (album->albumName() == QLatin1String("Night Ferry"))
            ferry = album;
    ASSERT_TRUE(ferry);
    const QString dropped = local.path() + QStringLiteral("/03 Extra.mp3");
    QFile file(dropped);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromStdString(songBytes()));
    file.close();
    EXPECT_TRUE(pane->importDroppedOnGrid({dropped}, ferry));
    ASSERT_TRUE(transferDone());
    const fs::path landed = phoneRoot() / "Music/Lumen Drift/Night Ferry/03 Extra.mp3";
    ASSERT_TRUE(qtWaitUntil([&] { return fs::exists(landed); }, kLong));
    fs::remove(landed);
}

// A drag out of the pane carries no file until a drop target asks; the pane
// itself never asks, so dropping its own songs back copies nothing off the phone.
TEST_F(MusicPanePhone, SongsDraggedOutAreNotTakenBackAsDrops)
{
    open();
    std::unique_ptr<QMimeData> data(pane->tableModel()->mimeData({pane->tableModel()->index(0, 0)}));
    ASSERT_TRUE(data);
    EXPECT_TRUE(data->formats().contains(QStringLiteral("text/uri-list")));
    EXPECT_TRUE(musicDropPaths(data.get()).isEmpty());
    EXPECT_FALSE(pane->tableModel()->canDropMimeData(data.get(), Qt::CopyAction, 0, 0, QModelIndex()));
    auto* dragged = qobject_cast<OVDragOutMimeData*>(data.get());
    ASSERT_TRUE(dragged);
    EXPECT_FALSE(dragged->exporter().hasStaged());
}

TEST_F(MusicPanePhone, AFetchKeepsTheSelectedSongsByPath)
{
    open();
    const QString path = song(QStringLiteral("Beacon"))->path();
    for (size_t row = 0; row < pane->items().size(); ++row)
        if (pane->items()[row]->path() == path)
            selectSongRows({static_cast<int>(row)});
    const auto before = pane->items().front();
    ASSERT_TRUE(refetchUntil([&] { return pane->items().front() != before; }));
    ASSERT_EQ(pane->selectedItems().size(), 1u);
    EXPECT_EQ(pane->selectedItems().front()->path(), path);
    EXPECT_NE(pane->selectedItems().front(), before);

    // A sorted table stays sorted, and a fetch selects nothing the user did not.
    pane->tableView()->clearSelection();
    pane->didClickTableColumn(OVSongTableModel::Name);
    pane->didClickTableColumn(OVSongTableModel::Name);
    const QStringList sorted = titles(pane->items());
    const auto first = pane->items().front();
    ASSERT_TRUE(refetchUntil([&] { return pane->items().front() != first; }));
    EXPECT_EQ(titles(pane->items()), sorted);
    EXPECT_TRUE(pane->tableView()->sortDescending());
    EXPECT_TRUE(pane->selectedItems().empty());
}

// A tile highlighted under a drag is cleared when the drag leaves or drops.
TEST_F(MusicPanePhone, DropHighlightGoesWithTheDrag)
{
    open(OVAudioViewController::AlbumsMode);
    ASSERT_TRUE(qtWaitUntil([&] { return !pane->gridView()->visibleItemViews().isEmpty(); }, kLong));
    const IBSectionIndexSet pair(0, 0);
    pane->collectionViewDraggingUpdated(pane->gridView(), nullptr, pair);
    const QPointer<OVAudioAlbumItemView> tile = pane->lastDropItemView();
    ASSERT_TRUE(tile);
    EXPECT_TRUE(tile->dropOn());
    pane->collectionViewDraggingExited(pane->gridView(), nullptr);
    EXPECT_FALSE(pane->lastDropItemView());
    EXPECT_FALSE(tile->dropOn());
}

TEST_F(MusicPanePhone, EachModeKeepsItsOwnScrollPosition)
{
    open(OVAudioViewController::FoldersMode);
    pane->view()->resize(900, 220);
    ASSERT_TRUE(qtWaitUntil([&] { return pane->audioFolders().size() >= 4; }, kLong));
    pane->outlineView()->expandAll();
    ASSERT_TRUE(qtWaitUntil([&] { return pane->outlineView()->verticalScrollBar()->maximum() > 0; }, kLong));
    pane->outlineView()->scrollToOffsetPoint(QPoint(0, pane->outlineView()->verticalScrollBar()->maximum()));
    const QPoint scrolled = pane->outlineView()->scrollOffsetPoint();
    ASSERT_GT(scrolled.y(), 0);

    // A mode shown for the first time starts at the top; each comes back where it was.
    switchTo(OVAudioViewController::AlbumsMode);
    EXPECT_EQ(pane->gridView()->scrollOffsetPoint(), QPointF(0, 0));
    switchTo(OVAudioViewController::FoldersMode);
    EXPECT_EQ(pane->outlineView()->scrollOffsetPoint(), scrolled);
    const auto& cache = pane->scrollViewOffsetCache();
    for (const char* key : {"AudioFolders", "AudioAlbums"})
        EXPECT_TRUE(cache.count(QString::fromLatin1(key))) << key;
}

// --- pieces without the phone -------------------------------------------------------------------

TEST(MusicPaneGeometry, PopoverSizeAndSide)
{
    const std::pair<uint64_t, int> heights[] = {{0, 49}, {1, 49}, {3, 147}, {6, 294}, {20, 294}};
    for (const auto& [songs, height] : heights)
        EXPECT_EQ(OVAudioViewController::popoverHeight(songs), height) << songs;
    // A tile in the right half of the grid gets the popover on its left.
    EXPECT_TRUE(OVAudioViewController::popoverOnLeftSide(0, 1));
    EXPECT_FALSE(OVAudioViewController::popoverOnLeftSide(0, 2));
    EXPECT_TRUE(OVAudioViewController::popoverOnLeftSide(1, 2));
    EXPECT_FALSE(OVAudioViewController::popoverOnLeftSide(0, 3));
    EXPECT_TRUE(OVAudioViewController::popoverOnLeftSide(1, 3));
    EXPECT_TRUE(OVAudioViewController::popoverOnLeftSide(2, 3));
}

TEST(MusicPaneGeometry, SongListCellAndAlbumTile)
{
    EXPECT_EQ(SongListCellView::durationFrame(QSize(230, 49)), QRect(165, 13, 54, 23));
    EXPECT_EQ(SongListCellView::nameFrame(QSize(230, 49)), QRect(13, 13, 148, 23));
    for (int height : {150, 215}) {
        OVAudioAlbumItemView tile;
        tile.resize(150, height);
        EXPECT_EQ(tile.imageRect(), QRectF(11, 11, 128, 128));
        EXPECT_EQ(tile.imageFrameRect(), QRectF(0, 0, 150, 150));
        // The title badge starts under the square, and a click on it hits the tile.
        EXPECT_EQ(tile.titleFrameRect().y(), 154);
        EXPECT_TRUE(tile.clickTest(tile.titleFrameRect().center()));
        EXPECT_FALSE(tile.clickTest(QPointF(5, 5)));
    }
}

// A reused tile never shows the previous album's cover or error.
TEST(MusicPaneGeometry, ANewAlbumClearsTheTilesCover)
{
    OVAudioAlbumItemView tile;
    auto first = OVAudioAlbumViewModel::make(std::make_shared<OVAudioAlbum>(), QString());
    auto second = OVAudioAlbumViewModel::make(std::make_shared<OVAudioAlbum>(), QString());
    tile.setRepresentedObject(first);
    QImage cover(4, 4, QImage::Format_RGB32);
    cover.fill(Qt::red);
    tile.setImage(cover);
    tile.setError(QStringLiteral("failed"));
    tile.setRepresentedObject(first);
    EXPECT_FALSE(tile.image().isNull());
    tile.setRepresentedObject(second);
    EXPECT_TRUE(tile.image().isNull());
    EXPECT_TRUE(tile.error().isEmpty());
}

TEST(MusicPaneGeometry, StatusTextAndAllowedTypes)
{
    EXPECT_EQ(OVAudioViewController::statusText(0, 0), "0 item");
    EXPECT_EQ(OVAudioViewController::statusText(1, 1), "Selected 1 item (Total 1 item)");
    EXPECT_EQ(OVAudioViewController::statusText(0, 5), "5 items");
    EXPECT_TRUE(OVAudioViewController::isAllowedMusicFile(QStringLiteral("/a/b.flac")));
    EXPECT_FALSE(OVAudioViewController::isAllowedMusicFile(QStringLiteral("/a/b.MP3")));
    EXPECT_FALSE(OVAudioViewController::isAllowedMusicFile(QStringLiteral("/a/mp3")));
}

}  // namespace
}  // namespace orv
