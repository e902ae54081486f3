// The Music pane's set-up, its three modes, the library fetch with its
// throttle, the selection as the pane base sees it, the status line, and the
// scroll position of each mode. The table, the outline, the grid and the
// export live in their own files.

#include "app/media/OVAudioViewController.h"

#include <QCollator>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <set>

#include "app/media/OVAudioFolderModel.h"
#include "app/media/OVSongListViewController.h"
#include "app/media/OVSongTableModel.h"
#include "app/panes/OVFileViewController.h"
#include "app/panes/OVOutlineView.h"
#include "app/shell/L10n.h"
#include "app/shell/OVMainWindowController.h"
#include "app/shell/OVNavbarView.h"
#include "app/toolkit/IBCollectionView.h"
#include "app/toolkit/OVBPopover.h"
#include "app/toolkit/OVButton.h"
#include "app/toolkit/OVSegButton.h"
#include "core/bridge/facade/OVDeviceClient.h"

namespace orv {

namespace {

const char* const kScrollKeys[] = {"AudioAllFiles", "AudioFolders", "AudioAlbums"};

}  // namespace

OVAudioViewController::OVAudioViewController()
{
    clock_.start();
    trailingReload_.setSingleShot(true);
    connect(&trailingReload_, &QTimer::timeout, this, [this] {
        throttle_.trailingFired(static_cast<double>(clock_.elapsed()) / 1000.0);
        startReload(ReloadTrigger::Push);
    });
}

OVAudioViewController::~OVAudioViewController()
{
    cleanThumbnailObservers();
    // The popover owns the song list's view; it goes first so nothing is freed twice.
    delete popover_;
    popover_ = nullptr;
    songlistViewController_.reset();
    if (gridView_) {
        gridView_->setDataSource(nullptr);
        gridView_->setDelegate(nullptr);
    }
    if (tableView_)
        tableView_->setTableDelegate(nullptr);
    if (outlineView_)
        outlineView_->setOutlineDelegate(nullptr);
    // The views ask their models for rows while they go, and the rows live
    // in this object: every view goes before the lists do.
    QPointer<QWidget> table(tableView_), outline(outlineView_), grid(gridView_);
    delete view();
    delete table.data();
    delete outline.data();
    delete grid.data();
}

QStringList OVAudioViewController::musicFileTypes()
{
    return {QStringLiteral("mp3"),  QStringLiteral("m4a"), QStringLiteral("aac"),
            QStringLiteral("mka"),  QStringLiteral("amr"), QStringLiteral("alac"),
            QStringLiteral("flac"), QStringLiteral("ape"), QStringLiteral("wav")};
}

QStringList OVAudioViewController::allowedFileTypes() { return musicFileTypes(); }

bool OVAudioViewController::isAllowedMusicFile(const QString& path)
{
    static const QStringList types = musicFileTypes();
    const QString name = QFileInfo(path).fileName();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 && types.contains(name.mid(dot + 1));
}

// --- construction --------------------------------------------------------------------------

void OVAudioViewController::awakeFromNib()
{
    if (built_)
        return;
    built_ = true;
    OVRightViewController::awakeFromNib();

    const auto device = client();
    const QString serial = device ? QString::fromStdString(device->serialNumber()) : QString();
    currentViewModel_ = OVViewModel::make(OVDeviceClient::audioDir(), serial);

    popover_ = new OVBPopover(nullptr, this);
    popover_->setAnimates(true);
    popover_->popoverWindow()->installEventFilter(this);
    setMaxIconWidth(410);
    setZoomLevel(35.0);

    segButton_ = new OVSegButton(navbarView());
    segButton_->setSegmentCount(3);
    const char* labels[] = {"AudioTabSong", "AudioTabFolder", "AudioTabAlbum"};
    for (int segment = 0; segment < 3 && segment < segButton_->segmentCount(); ++segment)
        segButton_->setLabel(L10n::text(labels[segment]), segment);
    segButton_->setSelectedSegment(SongsMode);
    connect(segButton_, &OVSegButton::activated, this, [this] { swichShowMode(); });

    setupGrid();
    setupTable();
    setupOutline();

    // After the base has titled the menu: albums and folder rows are not opened.
    connect(rightClickMenu(), &QMenu::aboutToShow, this, [this] {
        const std::vector<OVViewModelRef> selection = selectedItems();
        const bool onlyFiles = !selection.empty() && std::none_of(selection.begin(), selection.end(),
                                                                 [](const auto& item) { return item->isDir(); });
        bool seenVisible = false;
        for (QAction* action : rightClickMenu()->actions()) {
            const int tag = action->data().isValid() ? action->data().toInt() : -1;
            if (tag == MenuOpen)
                action->setVisible(onlyFiles);
            else if (tag == MenuOpenWith && !onlyFiles)
                action->setVisible(false);
            // A separator heading the menu is hidden.
            if (action->isSeparator() && !seenVisible)
                action->setVisible(false);
            seenVisible = seenVisible || (action->isVisible() && !action->isSeparator());
        }
    });

    addContentView(tableView_);
    layoutSubView();
}

void OVAudioViewController::setZoomLevel(double level)
{
    OVRightViewController::setZoomLevel(level);
    sectionLayoutManager_.setItemSize(QSizeF(182, 215));
    sectionLayoutManager_.setItemViewWSpacing(16);
    sectionLayoutManager_.setItemViewHSpacing(14);
    sectionLayoutManager_.setItemViewMarginMinX(12);
    sectionLayoutManager_.setItemViewMarginMaxX(8);
    sectionLayoutManager_.setItemViewMarginMinY(0);
    sectionLayoutManager_.setItemViewMarginMaxY(0);
    sectionLayoutManager_.setSectionHeaderViewHeight(20);
    sectionLayoutManager_.setSectionBottomViewHeight(20);
    reloadGrid();
}

void OVAudioViewController::layoutSubView()
{
    OVRightViewController::layoutSubView();
    if (!segButton_ || !view())
        return;
    const int width = L10n::text("Import") == QLatin1String("Import") ? 210 : 200;
    const int x = static_cast<int>(std::ceil((navbarView()->width() - width) / 2.0));
    segButton_->setGeometry(x, deleteButton()->geometry().y(), width, 31);
    // The shown list's columns take up the pane's width, once the list has its new size.
    QTimer::singleShot(0, this, [this] {
        if (tableView_ && view() && tableView_->parentWidget() == view())
            tableView_->autoFitColumeWidth();
        if (outlineView_ && view() && outlineView_->parentWidget() == view())
            outlineView_->autoFitColumeWidth();
    });
    view()->update();
}

// --- pane operations ----------------------------------------------------------------------

void OVAudioViewController::setDeviceDone()
{
    const auto device = client();
    if (!device)
        return;
    currentViewModel_ = OVViewModel::make(OVDeviceClient::audioDir(), QString::fromStdString(device->serialNumber()));
    nowShowMode_ = -1;
    swichShowMode();
}

void OVAudioViewController::cleanUp()
{
    cleanThumbnailObservers();
    trailingReload_.stop();
    throttle_.reset();
    if (popover_)
        popover_->closePopover();
    if (songlistViewController_)
        songlistViewController_->cleanUp();
    OVRightViewController::cleanUp();
}

QWidget* OVAudioViewController::firstResponder()
{
    switch (nowShowMode_) {
    case SongsMode:
        return tableView_;
    case FoldersMode:
        return outlineView_;
    case AlbumsMode:
        return gridView_;
    default:
        return nullptr;
    }
}

void OVAudioViewController::swichShowMode()
{
    if (!segButton_)
        return;
    const int selected = segButton_->selectedSegment();
    if (selected == nowShowMode_) {
        updateStatusLabel();
        return;
    }
    saveScrollViewOffset();
    nowShowMode_ = selected;
    tableView_->clearSelection();
    gridView_->deselectAll();
    outlineView_->clearSelection();
    QWidget* shown = nullptr;
    switch (nowShowMode_) {
    case SongsMode:
        addContentView(tableView_);
        tableModel_->reset();
        shown = tableView_;
        break;
    case FoldersMode:
        resetAudioFolder();
        addContentView(outlineView_);
        shown = outlineView_;
        break;
    case AlbumsMode:
        addContentView(gridView_);
        reloadGrid();
        shown = gridView_;
        break;
    default:
        break;
    }
    if (shown)
        shown->setFocus();
    reloadCurrentViewData();
    updateStatusLabel();
    layoutSubView();
    restoreScrollViewOffset();
}

// --- loading --------------------------------------------------------------------------------

void OVAudioViewController::reloadCurrentViewData() { requestReload(ReloadTrigger::Reload); }

void OVAudioViewController::deviceLibraryCallback(const std::optional<OVLibraryChange>&)
{
    // The pushed change is not applied piecemeal: the whole library is fetched again.
    requestReload(ReloadTrigger::Push);
}

void OVAudioViewController::doImportDone(const std::optional<Error>&, const std::vector<std::string>&)
{
    requestReload(ReloadTrigger::Import);
}

void OVAudioViewController::doDeleteDone(const std::optional<Error>&) { requestReload(ReloadTrigger::Delete); }

void OVAudioViewController::requestReload(ReloadTrigger trigger)
{
    ++reloadRequests_;
    const auto answer = throttle_.request(static_cast<double>(clock_.elapsed()) / 1000.0);
    switch (answer.decision) {
    case OVMediaReloadThrottle::Decision::FetchNow:
        startReload(trigger);
        break;
    case OVMediaReloadThrottle::Decision::Deferred:
        // Too soon after the last fetch: one fetch follows when the interval is up.
        trailingReload_.start(static_cast<int>(std::ceil(answer.delaySeconds * 1000.0)));
        break;
    case OVMediaReloadThrottle::Decision::AlreadyDeferred:
        break;
    }
}

void OVAudioViewController::startReload(ReloadTrigger trigger)
{
    lastReloadMs_ = clock_.elapsed();
    startSpinning();
    const int delay = trigger == ReloadTrigger::Push ? 0 : kReloadStartDelayMs;
    QPointer<OVAudioViewController> self(this);
    fetchScheduled_ = true;
    QTimer::singleShot(delay, this, [self] {
        if (!self)
            return;
        self->fetchScheduled_ = false;
        const auto device = self->client();
        if (!device) {
            self->stopSpinning();
            return;
        }
        ++self->fetchCount_;
        device->fetchAudioLibraryWithCallback([self](std::optional<OVMediaLibrary> library, std::optional<Error> error) {
            if (self)
                self->libraryArrived(std::move(library), error);
        });
    });
}

void OVAudioViewController::libraryArrived(std::optional<OVMediaLibrary> library, const std::optional<Error>& error)
{
    stopSpinning();
    if (error || !library)
        return;
    saveScrollViewOffset();
    const auto songs = library->find("songs");
    resetAllAudioFilesWithFiles(songs == library->end() ? std::vector<OVFileRef>{} : songs->second);
    const auto albums = library->find("albums");
    resetAllAlbumWithFiles(albums == library->end() ? std::vector<OVFileRef>{} : albums->second);
    resetAudioFolder();
    reloadShownView();
    updateStatusLabel();
    restoreScrollViewOffset();
    if (auto* window = mainWindowController())
        window->reloadBadge(2, false, false, false);
}

void OVAudioViewController::reloadShownView()
{
    switch (segButton_ ? segButton_->selectedSegment() : -1) {
    case SongsMode:
        break;  // the table was reset with the song list
    case FoldersMode:
        break;  // the outline was rebuilt with the folders
    case AlbumsMode:
        reloadGrid();
        break;
    default:
        break;
    }
}

void OVAudioViewController::resetAllAudioFilesWithFiles(const std::vector<OVFileRef>& files)
{
    QStringList selectedPaths;
    for (const OVViewModelRef& song : tableViewSelectedItems())
        selectedPaths << song->path();
    const auto device = client();
    const QString serial = device ? QString::fromStdString(device->serialNumber()) : QString();
    std::vector<std::shared_ptr<OVAudioViewModel>> songs;
    songs.reserve(files.size());
    for (const OVFileRef& file : files)
        if (auto audio = std::dynamic_pointer_cast<OVAudioFile>(file))
            songs.push_back(OVAudioViewModel::make(audio, serial));
    items_ = std::move(songs);
    // The old rows' selection means nothing in the new list.
    if (tableModel_)
        tableModel_->reset();
    if (tableView_ && tableView_->lastSortingColumn() >= 0) {
        // The table stays in the order its header shows.
        const int column = tableView_->lastSortingColumn();
        const bool descending = tableView_->sortDescending();
        tableView_->setLastSortingColumn(-1);
        didClickTableColumn(column);
        if (tableView_->sortDescending() != descending)
            didClickTableColumn(column);
    }
    selectSongsByPath(selectedPaths);
    updateStatusLabel();
}

void OVAudioViewController::resetAllAlbumWithFiles(const std::vector<OVFileRef>& albums)
{
    const auto device = client();
    const QString serial = device ? QString::fromStdString(device->serialNumber()) : QString();
    cleanThumbnailObservers();
    albumItems_.clear();
    for (const OVFileRef& file : albums)
        if (auto album = std::dynamic_pointer_cast<OVAudioAlbum>(file))
            albumItems_.push_back(OVAudioAlbumViewModel::make(album, serial));
    // A song list on screen follows its album into the new list.
    if (songlistViewController_ && popover_ && popover_->isVisible()) {
        std::shared_ptr<OVAudioAlbumViewModel> same;
        for (const auto& album : albumItems_)
            if (album->path() == popoverAlbumPath_ && album->albumName() == popoverAlbumName_)
                same = album;
        if (same) {
            songlistViewController_->setAlbumViewModel(same);
            songlistViewController_->reloadData();
        } else {
            popover_->closePopover();
        }
    }
    updateStatusLabel();
}

void OVAudioViewController::doubleClickItem(const OVViewModelRef& item)
{
    if (item && !item->isDir() && std::dynamic_pointer_cast<OVAudioViewModel>(item))
        downloadAndOpenItem(item);
}

// --- selection and status ------------------------------------------------------------------

std::vector<OVViewModelRef> OVAudioViewController::selectedItems()
{
    if (expandFolderRows_)
        return selectedSongsAndAlbums();
    switch (nowShowMode_) {
    case SongsMode:
        return tableViewSelectedItems();
    case FoldersMode:
        return outlineViewSelectedItem();
    case AlbumsMode:
        return gridViewSelectedItems();
    default:
        return {};
    }
}

OVViewModelRef OVAudioViewController::selectedItemAtIndex(int64_t index)
{
    const std::vector<OVViewModelRef> selection = selectedItems();
    if (index < 0 || index >= static_cast<int64_t>(selection.size()))
        return nullptr;
    return selection[static_cast<size_t>(index)];
}

std::vector<OVViewModelRef> OVAudioViewController::selectedSongsAndAlbums()
{
    std::vector<OVViewModelRef> out;
    std::set<QString> seen;
    auto add = [&](const OVViewModelRef& item) {
        if (item && seen.insert(item->path()).second)
            out.push_back(item);
    };
    const bool wasExpanding = expandFolderRows_;
    expandFolderRows_ = false;
    for (const OVViewModelRef& item : selectedItems()) {
        if (nowShowMode_ == FoldersMode && item->isDir()) {
            for (const OVViewModelRef& song : item->childrenViewModels())
                add(song);
        } else {
            add(item);
        }
    }
    expandFolderRows_ = wasExpanding;
    return out;
}

void OVAudioViewController::selectAll()
{
    switch (nowShowMode_) {
    case SongsMode:
        tableView_->selectAll();
        break;
    case FoldersMode:
        outlineView_->selectAll();
        break;
    case AlbumsMode:
        gridView_->selectAll();
        break;
    default:
        break;
    }
}

std::vector<OVViewModelRef> OVAudioViewController::tableViewSelectedItems()
{
    std::vector<OVViewModelRef> selection;
    if (!tableView_ || !tableView_->selectionModel() || items_.empty())
        return selection;
    QModelIndexList rows = tableView_->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& index : rows)
        if (index.row() < static_cast<int>(items_.size()))
            selection.push_back(items_[static_cast<size_t>(index.row())]);
    return selection;
}

std::vector<OVViewModelRef> OVAudioViewController::gridViewSelectedItems()
{
    std::vector<OVViewModelRef> selection;
    if (!gridView_ || albumItems_.empty())
        return selection;
    for (const IBSectionIndexSet& pair : gridView_->selectedItemIndexSets()) {
        const int64_t index = pair.itemIndex();
        if (index >= 0 && index < static_cast<int64_t>(albumItems_.size()))
            selection.push_back(albumItems_[static_cast<size_t>(index)]);
    }
    return selection;
}

void OVAudioViewController::selectSongsByPath(const QStringList& paths)
{
    if (!tableView_ || paths.isEmpty())
        return;
    QItemSelection rows;
    for (size_t row = 0; row < items_.size(); ++row)
        if (paths.contains(items_[row]->path()))
            rows.select(tableModel_->index(static_cast<int>(row), 0),
                        tableModel_->index(static_cast<int>(row), OVSongTableModel::ColumnCount - 1));
    tableView_->selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
}

QString OVAudioViewController::statusText(uint64_t selected, uint64_t total)
{
    return OVFileViewController::statusText(selected, total);
}

void OVAudioViewController::updateStatusLabel()
{
    auto* window = mainWindowController();
    if (!window || !view() || !view()->window() || view()->window() == view())
        return;
    uint64_t total = 0;
    switch (nowShowMode_) {
    case SongsMode:
        total = items_.size();
        break;
    case FoldersMode:
        total = audioFolders_.size();
        break;
    case AlbumsMode:
        total = albumItems_.size();
        break;
    default:
        break;
    }
    window->setStatusText(statusText(selectedItems().size(), total));
}

// --- scroll positions -----------------------------------------------------------------------

QString OVAudioViewController::scrollKey() const
{
    return nowShowMode_ >= 0 && nowShowMode_ <= 2 ? QString::fromLatin1(kScrollKeys[nowShowMode_]) : QString();
}

void OVAudioViewController::saveScrollViewOffset()
{
    const QString key = scrollKey();
    if (key.isEmpty())
        return;
    QPoint offset;
    switch (nowShowMode_) {
    case SongsMode:
        offset = tableView_->scrollOffsetPoint();
        break;
    case FoldersMode:
        offset = outlineView_->scrollOffsetPoint();
        break;
    default:
        offset = gridView_->scrollOffsetPoint().toPoint();
        break;
    }
    scrollViewOffsetCache_[key] = offset;
}

void OVAudioViewController::restoreScrollViewOffset()
{
    const QString key = scrollKey();
    if (key.isEmpty())
        return;
    const auto found = scrollViewOffsetCache_.find(key);
    const QPoint offset = found == scrollViewOffsetCache_.end() ? QPoint(0, 0) : found->second;
    switch (nowShowMode_) {
    case SongsMode:
        tableView_->scrollToOffsetPoint(offset);
        break;
    case FoldersMode:
        outlineView_->scrollToOffsetPoint(offset);
        break;
    default:
        gridView_->scrollToOffsetPoint(QPointF(offset));
        break;
    }
}

// --- Quick Look ------------------------------------------------------------------------------

int OVAudioViewController::compareText(const QString& a, const QString& b)
{
    static const QCollator collator = [] {
        QCollator made;
        made.setCaseSensitivity(Qt::CaseInsensitive);
        return made;
    }();
    return collator.compare(a, b);
}

bool OVAudioViewController::listKey(QKeyEvent* event)
{
    const bool control = event->modifiers() & Qt::ControlModifier;
    if ((event->key() == Qt::Key_Backspace && control) || event->key() == Qt::Key_Delete) {
        deleteAction();
        return true;
    }
    if (event->key() != Qt::Key_Space && !(event->key() == Qt::Key_Y && control))
        return false;
    const std::vector<OVViewModelRef> selection = selectedItems();
    if (selection.empty() || !selection.front()->isAudio())
        return false;
    quickLookPreviewItem(selection.front(), false);
    return true;
}

bool OVAudioViewController::previewPanelHandleEvent(QKeyEvent* event)
{
    if (!event || event->type() != QEvent::KeyPress)
        return false;
    QWidget* target = segButton_ && segButton_->selectedSegment() == SongsMode ? static_cast<QWidget*>(tableView_)
                                                                               : static_cast<QWidget*>(outlineView_);
    if (target) {
        QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->text());
        QCoreApplication::sendEvent(target, &copy);
    }
    reloadQuicklook();
    return true;
}

void OVAudioViewController::reloadQuicklook()
{
    const std::vector<OVViewModelRef> selection = selectedItems();
    if (!selection.empty() && selection.front()->isAudio())
        quickLookPreviewItem(selection.front(), true);
}

QRect OVAudioViewController::screenRectForItem(const OVViewModelRef& item)
{
    if (!item || !segButton_)
        return {};
    if (segButton_->selectedSegment() == SongsMode) {
        for (size_t row = 0; row < items_.size(); ++row) {
            if (items_[row]->path() != item->path())
                continue;
            const QRect rect = tableView_->visualRect(tableModel_->index(static_cast<int>(row), 0));
            return QRect(tableView_->viewport()->mapToGlobal(rect.topLeft()), rect.size());
        }
        return {};
    }
    if (segButton_->selectedSegment() == FoldersMode) {
        const QModelIndex index = outlineModel_->indexOfItem(item.get());
        if (!index.isValid())
            return {};
        const QRect rect = outlineView_->visualRect(index);
        return QRect(outlineView_->viewport()->mapToGlobal(rect.topLeft()), rect.size());
    }
    return {};
}

}  // namespace orv
