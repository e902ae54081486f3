// The Music pane's albums grid: one tile per album, covers loaded only for
// tiles on screen and cancelled when they leave, a click opening the album's
// song list in a popover beside the tile, drops of music files into the
// Music folder, and albums dragged out as their songs.

#include <QDragEnterEvent>
#include <QEvent>
#include <QKeyEvent>

#include "app/media/OVAudioViewController.h"
#include "app/media/OVSongListViewController.h"
#include "app/media/OVSongTableModel.h"
#include "app/panes/OVDragOutMimeData.h"
#include "app/panes/OVPreviewWindow.h"
#include "app/shell/L10n.h"
#include "app/toolkit/IBCollectionView.h"
#include "app/toolkit/OVBPopover.h"
#include "app/viewmodels/AppImages.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/model/OVAudioFile.h"

namespace orv {

void OVAudioViewController::setupGrid()
{
    gridView_ = new IBCollectionView;
    gridView_->setDataSource(this);
    gridView_->setDelegate(this);
    gridView_->setFrameShape(QFrame::NoFrame);
    gridView_->setDistinctSingleDoubleClick(false);
    gridView_->registerClass(&IBCollectionItemView::staticMetaObject, kItemViewIdentifier);
    gridView_->registerForDraggedTypes({QStringLiteral("text/uri-list")});
}

void OVAudioViewController::reloadGrid()
{
    if (!gridView_)
        return;
    cleanThumbnailObservers();
    gridView_->reloadData();
}

int64_t OVAudioViewController::collectionViewItemCount(IBCollectionView*, int64_t)
{
    return static_cast<int64_t>(albumItems_.size());
}

IBSectionViewLayoutManager* OVAudioViewController::collectionViewSectionLayoutManager(IBCollectionView*, int64_t)
{
    return &sectionLayoutManager_;
}

IBCollectionItemView* OVAudioViewController::collectionViewItemViewWithIndexSet(IBCollectionView* view,
                                                                              const IBSectionIndexSet& pair)
{
    const int64_t index = pair.itemIndex();
    if (index < 0 || index >= static_cast<int64_t>(albumItems_.size()))
        return nullptr;
    auto* tile = qobject_cast<OVAudioAlbumItemView*>(view->dequeueReusableViewWithIdentifier(kItemViewIdentifier));
    if (!tile) {
        tile = new OVAudioAlbumItemView;
        tile->setReuseIdentifier(kItemViewIdentifier);
    }
    const auto& album = albumItems_[static_cast<size_t>(index)];
    tile->setRepresentedObject(album);
    tile->setNumber(album->songs().size());
    tile->setTitle(album->albumName());
    const QImage cover = album->thumbnail();
    if (!cover.isNull()) {
        tile->setImage(cover);
        return tile;
    }
    tile->setImage(app_images::audioAlbum());
    const auto device = client();
    if (!album->observerThumbnailLoading() && device) {
        album->setObserverThumbnailLoading(true);
        observedVisibleView_.insert(pair, tile);
        OVAudioAlbumViewModel* raw = album.get();
        const QMetaObject::Connection connection =
            connect(raw, &OVViewModel::thumbnailChanged, this, [this, raw] { coverArrived(raw); });
        observedThumbnails_[raw] = {album, connection};
        album->loadThumbnail(*device);
    }
    return tile;
}

int64_t OVAudioViewController::indexOfAlbum(const OVViewModel* album) const
{
    for (size_t i = 0; i < albumItems_.size(); ++i)
        if (albumItems_[i].get() == album)
            return static_cast<int64_t>(i);
    return -1;
}

void OVAudioViewController::coverArrived(OVAudioAlbumViewModel* album)
{
    const auto found = observedThumbnails_.find(album);
    if (found == observedThumbnails_.end())
        return;
    const std::shared_ptr<OVAudioAlbumViewModel> keep = found->second.first;
    album->setObserverThumbnailLoading(false);
    const int64_t index = indexOfAlbum(album);
    if (index >= 0) {
        const IBSectionIndexSet pair(0, index);
        const QPointer<OVAudioAlbumItemView> tile = observedVisibleView_.value(pair);
        // A tile reused for another album by now keeps that album's cover.
        if (tile && tile->representedObject().get() == album) {
            if (!album->thumbnail().isNull())
                tile->setImage(album->thumbnail());
            tile->setError(album->thumbnailError());
            tile->update();
        }
        observedVisibleView_.remove(pair);
    }
    stopObservingCover(album);
}

void OVAudioViewController::stopObservingCover(OVAudioAlbumViewModel* album)
{
    const auto found = observedThumbnails_.find(album);
    if (found == observedThumbnails_.end())
        return;
    disconnect(found->second.second);
    observedThumbnails_.erase(found);
}

void OVAudioViewController::collectionViewDidRemoveItemView(IBCollectionView*, IBCollectionItemView*,
                                                            const IBSectionIndexSet& pair)
{
    const int64_t index = pair.itemIndex();
    if (index < 0 || index >= static_cast<int64_t>(albumItems_.size()))
        return;
    const auto album = albumItems_[static_cast<size_t>(index)];
    if (!album->observerThumbnailLoading())
        return;
    album->setObserverThumbnailLoading(false);
    observedVisibleView_.remove(pair);
    stopObservingCover(album.get());
    album->cancelLoadThumbnail();
}

void OVAudioViewController::cleanThumbnailObservers()
{
    auto observed = std::move(observedThumbnails_);
    observedThumbnails_.clear();
    for (auto& [raw, entry] : observed) {
        disconnect(entry.second);
        entry.first->cancelLoadThumbnail();
        entry.first->setObserverThumbnailLoading(false);
    }
    observedVisibleView_.clear();
}

// --- clicks, keys, menus ---------------------------------------------------------------------

bool OVAudioViewController::popoverOnLeftSide(int64_t column, int64_t columns)
{
    return static_cast<double>(column + 1) > static_cast<double>(columns) * 0.5;
}

int OVAudioViewController::popoverHeight(uint64_t songs)
{
    const float height = std::min(static_cast<float>(kPopoverRowHeight) * static_cast<float>(songs),
                                  static_cast<float>(kPopoverMaxHeight));
    return static_cast<int>(std::max(height, static_cast<float>(kPopoverRowHeight)));
}

void OVAudioViewController::collectionViewDidClickItemView(IBCollectionView* view, const IBSectionIndexSet& pair)
{
    const int64_t index = pair.itemIndex();
    if (index < 0 || index >= static_cast<int64_t>(albumItems_.size()))
        return;
    const auto layout = view->layoutWithSectionIndex(0);
    const int64_t columns = layout ? layout->countOfColumn() : 1;
    const int64_t column = layout ? layout->columnOfIndex(index) : 0;
    popoverSongListWithAlbumViewModel(albumItems_[static_cast<size_t>(index)], view->itemViewWithIndexSet(pair),
                                      popoverOnLeftSide(column, columns));
}

void OVAudioViewController::popoverSongListWithAlbumViewModel(const std::shared_ptr<OVAudioAlbumViewModel>& album,
                                                              QWidget* sender, bool leftSide)
{
    if (!album || !sender || !popover_)
        return;
    if (!songlistViewController_) {
        QPointer<OVAudioViewController> self(this);
        songlistViewController_ = std::make_unique<OVSongListViewController>(
            album, mainWindowController(), client(), [self] {
                if (!self)
                    return;
                if (self->popover_)
                    self->popover_->closePopover();
                self->reloadCurrentViewData();
            });
        songlistViewController_->loadView();
        songlistViewController_->view()->resize(kPopoverWidth, kPopoverRowHeight);
        popover_->popoverWindow()->setContentView(songlistViewController_->view());
    }
    songlistViewController_->setClient(client());
    songlistViewController_->setAlbumViewModel(album);
    popoverAlbumPath_ = album->path();
    popoverAlbumName_ = album->albumName();
    songlistViewController_->reloadData();

    QRect anchor = sender->rect();
    anchor.setHeight(anchor.height() - 80);
    anchor.translate(leftSide ? 27 : -17, 27);
    popover_->popoverWindow()->setContentSize(QSize(kPopoverWidth, popoverHeight(album->songs().size())));
    popover_->setPosition(leftSide ? OVBPopoverLeft : OVBPopoverRight);
    if (popover_->isVisible())
        popover_->moveToAnchorRect(anchor);
    popover_->showRelativeTo(anchor, sender, false);
    popoverShown_.start();
    if (auto* table = songlistViewController_->songlistView())
        table->setFocus();
}

bool OVAudioViewController::popoverShouldClose() const
{
    return !popoverShown_.isValid() || popoverShown_.elapsed() > kPopoverCloseGuardMs;
}

bool OVAudioViewController::eventFilter(QObject* watched, QEvent* event)
{
    if (popover_ && watched == popover_->popoverWindow() && event->type() == QEvent::WindowDeactivate &&
        popoverShouldClose())
        popover_->closePopover();
    return OVRightViewController::eventFilter(watched, event);
}

void OVAudioViewController::collectionViewDidDoubleClickItemView(IBCollectionView*, const IBSectionIndexSet& pair)
{
    const int64_t index = pair.itemIndex();
    if (index >= 0 && index < static_cast<int64_t>(albumItems_.size()))
        doubleClickItem(albumItems_[static_cast<size_t>(index)]);
}

void OVAudioViewController::collectionViewSelectionDidChange(IBCollectionView*) { validationButtons(); }

void OVAudioViewController::collectionViewDidKeyDownEvent(IBCollectionView*, QKeyEvent* event)
{
    const bool control = event->modifiers() & Qt::ControlModifier;
    if (event->key() == Qt::Key_Delete || (event->key() == Qt::Key_Backspace && control))
        deleteAction();
}

QMenu* OVAudioViewController::collectionViewMenuIndextSet(IBCollectionView*, const IBSectionIndexSet&)
{
    return rightClickMenu();
}

// --- drops -----------------------------------------------------------------------------------------

Qt::DropAction OVAudioViewController::collectionViewDraggingEntered(IBCollectionView*, QDragEnterEvent* event)
{
    dropOperation_ = musicDropPaths(event->mimeData()).isEmpty() ? Qt::IgnoreAction : Qt::CopyAction;
    return dropOperation_;
}

Qt::DropAction OVAudioViewController::collectionViewDraggingUpdated(IBCollectionView* view, QDragMoveEvent*,
                                                                  const std::optional<IBSectionIndexSet>& pair)
{
    if (lastDropItemView_)
        lastDropItemView_->setDropOn(false);
    lastDropItemView_ = nullptr;
    if (pair) {
        auto* tile = qobject_cast<OVAudioAlbumItemView*>(view->itemViewWithIndexSet(pair));
        if (tile && tile->representedObject() && tile->representedObject()->isDir() &&
            !tile->representedObject()->isSystemFile()) {
            tile->setDropOn(true);
            lastDropItemView_ = tile;
        }
    }
    return dropOperation_;
}

void OVAudioViewController::collectionViewDraggingExited(IBCollectionView*, QDragLeaveEvent*)
{
    dropOperation_ = Qt::IgnoreAction;
    // The highlight goes with the drag.
    if (lastDropItemView_)
        lastDropItemView_->setDropOn(false);
    lastDropItemView_ = nullptr;
}

bool OVAudioViewController::collectionViewPerformDragOperation(IBCollectionView* view, QDropEvent* event,
                                                               const std::optional<IBSectionIndexSet>& pair)
{
    if (lastDropItemView_)
        lastDropItemView_->setDropOn(false);
    lastDropItemView_ = nullptr;
    OVViewModelRef onto;
    if (pair) {
        auto* tile = qobject_cast<OVAudioAlbumItemView*>(view->itemViewWithIndexSet(pair));
        if (tile && tile->representedObject() && tile->representedObject()->isDir())
            onto = tile->representedObject();
    }
    return importDroppedOnGrid(musicDropPaths(event->mimeData()), onto);
}

bool OVAudioViewController::importDroppedOnGrid(const QStringList& localPaths, const OVViewModelRef& onto)
{
    if (!onto)
        return importDroppedPaths(localPaths);
    QStringList music;
    for (const QString& path : localPaths)
        if (isAllowedMusicFile(path))
            music << path;
    if (music.isEmpty() || isTransferRunning() || isAlbumExportRunning())
        return false;
    // An album is a set of songs, not a folder: its files go to the folder
    // of the album's first song, where the phone keeps the album.
    auto folder = std::make_shared<OVDirectoryFile>();
    folder->setPath(onto->path().toStdString());
    folder->setName(onto->rawfilename().toStdString());
    doImport(music, OVViewModel::make(folder, onto->serialNumber()), nullptr);
    return true;
}

// --- drag out ------------------------------------------------------------------------------------

std::optional<QStringList> OVAudioViewController::collectionViewDragPromisedFilesOfTypes(IBCollectionView*)
{
    return QStringList{QStringLiteral("text/uri-list")};
}

QMimeData* OVAudioViewController::collectionViewDragMimeData(IBCollectionView*, const QStringList&,
                                                            const QList<IBSectionIndexSet>& pairs)
{
    if (isTransferRunning() || isAlbumExportRunning())
        return nullptr;
    // An album leaves as its songs, never as the phone folder it lies in.
    std::vector<OVViewModelRef> songs;
    const auto device = client();
    const QString serial = device ? QString::fromStdString(device->serialNumber()) : QString();
    for (const IBSectionIndexSet& pair : pairs) {
        const int64_t index = pair.itemIndex();
        if (index < 0 || index >= static_cast<int64_t>(albumItems_.size()))
            continue;
        for (const OVFileRef& file : albumItems_[static_cast<size_t>(index)]->songs())
            if (auto song = std::dynamic_pointer_cast<OVAudioFile>(file))
                songs.push_back(OVAudioViewModel::make(song, serial));
    }
    return dragOutMimeData(songs);
}

}  // namespace orv
