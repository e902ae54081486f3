// The media grid's data source and delegate: section views, cells and album
// tiles, thumbnails requested for cells on screen only and cancelled when a
// cell leaves, clicks and keys, drops from the computer and drags out.

#include <QDirIterator>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QKeyEvent>

#include "app/media/OVMediaViewController.h"
#include "app/media/OVPhotoAlbumItemView.h"
#include "app/media/OVPhotoItemView.h"
#include "app/media/PhotoSectionView.h"
#include "app/panes/OVDragOutExporter.h"
#include "app/panes/OVDragOutMimeData.h"
#include "app/panes/OVFileOutlineModel.h"
#include "app/panes/OVPreviewWindow.h"
#include "app/panes/PaneGridKeys.h"
#include "app/shell/L10n.h"
#include "app/toolkit/IBCollectionView.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/model/OVImageFile.h"
#include "core/bridge/model/OVVideoFile.h"

namespace orv {

namespace {

// "<media id> <failure>" for a photo or video whose thumbnail failed.
QString cellErrorText(const OVViewModelRef& item)
{
    const QString error = item->thumbnailError();
    if (const auto image = std::dynamic_pointer_cast<OVImageFile>(item->ovfile()))
        return QStringLiteral("%1 %2").arg(image->imageId()).arg(error);
    if (const auto video = std::dynamic_pointer_cast<OVVideoFile>(item->ovfile()))
        return QStringLiteral("%1 %2").arg(video->videoId()).arg(error);
    return error;
}

}  // namespace

// --- data source ------------------------------------------------------------------------------

std::optional<int64_t> OVMediaViewController::collectionViewSectionCount(IBCollectionView*)
{
    if (showingAlbums_ || !currentList_)
        return 0;
    return currentList_->sectionNumber();
}

int64_t OVMediaViewController::collectionViewItemCount(IBCollectionView*, int64_t section)
{
    if (showingAlbums_) {
        OVPhotoAlbumsViewModel* albums = albumsModel();
        return albums ? albums->totalItemNumber() : 0;
    }
    return currentList_ ? currentList_->itemNumberForSection(section) : 0;
}

IBCollectionSectionView* OVMediaViewController::collectionViewSectionViewWithIndex(IBCollectionView* view,
                                                                                    int64_t section)
{
    if (showingAlbums_ || !currentList_ || currentList_->sectionNumber() <= 0)
        return nullptr;
    auto* sectionView = qobject_cast<OVCollectionSectionView*>(view->dequeueReusableViewWithIdentifier(kSectionViewIdentifier));
    if (!sectionView) {
        sectionView = new OVCollectionSectionView;
        sectionView->setReuseIdentifier(kSectionViewIdentifier);
    }
    sectionView->setSectionTitle(currentList_->titleLabelForSection(section));
    return sectionView;
}

IBSectionViewLayoutManager* OVMediaViewController::collectionViewSectionLayoutManager(IBCollectionView*, int64_t)
{
    if (!hasCurrentModel())
        return nullptr;
    return showingAlbums_ ? &albumsectionLayoutManager_ : &sectionLayoutManager_;
}

IBCollectionItemView* OVMediaViewController::collectionViewItemViewWithIndexSet(IBCollectionView* view,
                                                                               const IBSectionIndexSet& pair)
{
    if (showingAlbums_) {
        OVPhotoAlbumsViewModel* albums = albumsModel();
        const OVPhotoAlbumViewModelRef album = albums ? albums->itemForIndex(pair.itemIndex()) : nullptr;
        if (!album)
            return nullptr;
        auto* tile = qobject_cast<OVPhotoAlbumItemView*>(view->dequeueReusableViewWithIdentifier(kItemViewIdentifier));
        if (!tile) {
            tile = new OVPhotoAlbumItemView;
            tile->setReuseIdentifier(kItemViewIdentifier);
        }
        fillAlbumTile(tile, album, pair);
        return tile;
    }
    if (!currentList_)
        return nullptr;
    const OVViewModelRef item = currentList_->itemForSection(pair.sectionIndex(), pair.itemIndex());
    if (!item)
        return nullptr;
    auto* cell = qobject_cast<OVPhotoItemView*>(view->dequeueReusableViewWithIdentifier(kItemViewIdentifier));
    if (!cell) {
        cell = new OVPhotoItemView;
        cell->setReuseIdentifier(kItemViewIdentifier);
    }
    fillPhotoCell(cell, item, pair);
    return cell;
}

void OVMediaViewController::fillPhotoCell(OVPhotoItemView* cell, const OVViewModelRef& item,
                                          const IBSectionIndexSet& pair)
{
    cell->setRepresentedObject(item);
    cell->setIsPanorama(item->isPanoramaImage());
    cell->setIsVideo(isVideoPane());
    cell->setDropOn(false);
    // A video whose thumbnail failed is asked for again each time it is shown.
    if (!isVideoPane() && !item->thumbnailError().isEmpty()) {
        cell->setError(cellErrorText(item));
        return;
    }
    const QImage thumbnail = item->thumbnail();
    if (!thumbnail.isNull()) {
        cell->setError(QString());
        cell->setImage(thumbnail);
        return;
    }
    if (!item->observerThumbnailLoading())
        observeThumbnail(item, cell, pair);
}

void OVMediaViewController::fillAlbumTile(OVPhotoAlbumItemView* tile, const OVPhotoAlbumViewModelRef& album,
                                          const IBSectionIndexSet& pair)
{
    tile->setRepresentedObject(album);
    tile->setTitle(album->displayname());
    tile->setNumber(album->childrenViewModels().size());
    tile->setDropOn(false);
    if (!album->thumbnailError().isEmpty()) {
        tile->setError(album->thumbnailError());
        return;
    }
    const QImage cover = album->thumbnail();
    if (!cover.isNull()) {
        tile->setImage(cover);
        return;
    }
    if (!album->observerThumbnailLoading())
        observeThumbnail(album, tile, pair);
}

// --- thumbnails -----------------------------------------------------------------------------------

void OVMediaViewController::observeThumbnail(const OVViewModelRef& item, IBCollectionItemView* cell,
                                             const IBSectionIndexSet& pair)
{
    const auto device = client();
    if (!device)
        return;
    // Registered before the load starts: a cached thumbnail arrives inside loadThumbnail.
    item->setObserverThumbnailLoading(true);
    observedVisibleView_.insert(pair, cell);
    OVViewModel* raw = item.get();
    const QMetaObject::Connection connection =
        connect(raw, &OVViewModel::thumbnailChanged, this, [this, raw] { thumbnailArrived(raw); });
    observed_[raw] = {item, connection, pair};
    item->loadThumbnail(*device);
}

void OVMediaViewController::thumbnailArrived(OVViewModel* model)
{
    const auto found = observed_.find(model);
    if (found == observed_.end())
        return;
    const OVViewModelRef keep = found->second.model;
    if (model->observerThumbnailLoading()) {
        model->setObserverThumbnailLoading(false);
        // The position the cell asked from, unless the models moved the item since.
        std::optional<IBSectionIndexSet> pair = found->second.pair;
        if (itemAt(*pair).get() != model)
            pair = indexSetForItem(*model);
        if (pair) {
            const QPointer<IBCollectionItemView> cell = observedVisibleView_.value(*pair);
            // A cell reused for another item by now is left alone.
            if (auto* photo = qobject_cast<OVPhotoItemView*>(cell.data());
                photo && photo->representedObject().get() == model) {
                photo->setImage(model->thumbnail());
                photo->setError(isVideoPane() || model->thumbnailError().isEmpty() ? QString() : cellErrorText(keep));
                photo->update();
            } else if (auto* tile = qobject_cast<OVPhotoAlbumItemView*>(cell.data());
                       tile && tile->representedObject().get() == model) {
                tile->setImage(model->thumbnail());
                tile->setError(model->thumbnailError());
                tile->update();
            }
            observedVisibleView_.remove(*pair);
        }
    }
    stopObserving(model);
}

void OVMediaViewController::stopObserving(const OVViewModel* model)
{
    const auto found = observed_.find(model);
    if (found == observed_.end())
        return;
    disconnect(found->second.connection);
    observed_.erase(found);
}

void OVMediaViewController::collectionViewDidRemoveItemView(IBCollectionView*, IBCollectionItemView*,
                                                            const IBSectionIndexSet& pair)
{
    const OVViewModelRef item = itemAt(pair);
    if (!item || !item->observerThumbnailLoading())
        return;
    item->setObserverThumbnailLoading(false);
    observedVisibleView_.remove(pair);
    stopObserving(item.get());
    item->cancelLoadThumbnail();
}

void OVMediaViewController::cleanThumbnailObservers()
{
    auto observed = std::move(observed_);
    observed_.clear();
    for (auto& [raw, entry] : observed) {
        disconnect(entry.connection);
        entry.model->cancelLoadThumbnail();
        entry.model->setObserverThumbnailLoading(false);
    }
    observedVisibleView_.clear();
}

// --- clicks, selection, keys, menus -------------------------------------------------------------

void OVMediaViewController::collectionViewDidDoubleClickItemView(IBCollectionView*, const IBSectionIndexSet& pair)
{
    if (const OVViewModelRef item = itemAt(pair))
        doubleClickItem(item);
}

void OVMediaViewController::collectionViewSelectionDidChange(IBCollectionView*)
{
    validationButtons();
    if (OVPreviewWindow::sharedPreviewPanelExists() && OVPreviewWindow::sharedPreviewPanel()->isVisible())
        reloadQuicklook();
}

void OVMediaViewController::collectionViewDidKeyDownEvent(IBCollectionView*, QKeyEvent* event)
{
    PaneGridKeyActions actions;
    actions.preview = [this](const OVViewModelRef& item) { quickLookPreviewItem(item, false); };
    actions.open = [this](const OVViewModelRef& item) { doubleClickItem(item); };
    actions.up = [this] {
        if (isInsideAlbum())
            leaveAlbum();
    };
    actions.remove = [this] { mediaDeleteAction(); };
    handlePaneGridKey(event, selectedItems(), actions);
}

QMenu* OVMediaViewController::collectionViewMenuIndextSet(IBCollectionView*, const IBSectionIndexSet&)
{
    return rightClickMenu();
}

// --- drag in ----------------------------------------------------------------------------------

bool OVMediaViewController::quickCheckIfCanDrop(const QStringList& paths) const
{
    // Large drags stay responsive: the full filtering happens once, at the drop.
    if (paths.size() > 5)
        return true;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.exists())
            continue;
        if (info.isDir() || isMediaFile(path))
            return true;
    }
    return false;
}

QStringList OVMediaViewController::findAllMedia(const QStringList& paths) const
{
    QStringList found;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.exists())
            continue;
        if (!info.isDir()) {
            if (info.isFile() && isMediaFile(path))
                found << info.absoluteFilePath();
            continue;
        }
        QDirIterator walk(path, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (walk.hasNext()) {
            const QString entry = walk.next();
            const QFileInfo entryInfo = walk.fileInfo();
            if (entryInfo.isSymLink() || !entryInfo.isFile())
                continue;
            // Hidden files, and everything inside hidden folders, stay behind.
            const QString relative = QDir(path).relativeFilePath(entry);
            bool hidden = false;
            for (const QString& part : relative.split(QLatin1Char('/')))
                hidden = hidden || part.startsWith(QLatin1Char('.'));
            if (!hidden && isMediaFile(entry))
                found << entry;
        }
    }
    return found;
}

OVPhotoAlbumViewModelRef OVMediaViewController::dropTargetAlbum() const
{
    if (auto* tile = qobject_cast<OVPhotoAlbumItemView*>(lastDropItemView_.data()))
        return std::dynamic_pointer_cast<OVPhotoAlbumViewModel>(tile->representedObject());
    return nullptr;
}

void OVMediaViewController::clearDropTarget()
{
    if (auto* tile = qobject_cast<OVPhotoAlbumItemView*>(lastDropItemView_.data()))
        tile->setDropOn(false);
    lastDropItemView_ = nullptr;
}

Qt::DropAction OVMediaViewController::collectionViewDraggingEntered(IBCollectionView*, QDragEnterEvent* event)
{
    dropOperation_ = quickCheckIfCanDrop(OVFileOutlineModel::localPaths(event->mimeData())) ? Qt::CopyAction
                                                                                            : Qt::IgnoreAction;
    return dropOperation_;
}

Qt::DropAction OVMediaViewController::collectionViewDraggingUpdated(IBCollectionView* view, QDragMoveEvent*,
                                                                  const std::optional<IBSectionIndexSet>& pair)
{
    clearDropTarget();
    if (pair && showingAlbums_) {
        auto* tile = qobject_cast<OVPhotoAlbumItemView*>(view->itemViewWithIndexSet(pair));
        if (tile && std::dynamic_pointer_cast<OVPhotoAlbumViewModel>(tile->representedObject())) {
            tile->setDropOn(true);
            lastDropItemView_ = tile;
        }
    }
    return dropOperation_;
}

void OVMediaViewController::collectionViewDraggingExited(IBCollectionView*, QDragLeaveEvent*)
{
    dropOperation_ = Qt::IgnoreAction;
    // The target goes with the drag: a later Import must not land in the album last hovered.
    clearDropTarget();
}

bool OVMediaViewController::collectionViewPerformDragOperation(IBCollectionView*, QDropEvent* event,
                                                               const std::optional<IBSectionIndexSet>&)
{
    const OVPhotoAlbumViewModelRef album = dropTargetAlbum();
    clearDropTarget();
    dropOperation_ = Qt::IgnoreAction;
    return importDroppedPaths(OVFileOutlineModel::localPaths(event->mimeData()), album);
}

// --- drag out ---------------------------------------------------------------------------------

std::optional<QStringList> OVMediaViewController::collectionViewDragPromisedFilesOfTypes(IBCollectionView*)
{
    return QStringList{QStringLiteral("text/uri-list")};
}

QMimeData* OVMediaViewController::collectionViewDragMimeData(IBCollectionView*, const QStringList&,
                                                            const QList<IBSectionIndexSet>& pairs)
{
    const auto device = client();
    if (!device || isTransferRunning())
        return nullptr;
    std::vector<OVViewModelRef> picked;
    for (const IBSectionIndexSet& pair : pairs)
        if (OVViewModelRef item = itemAt(pair))
            picked.push_back(std::move(item));
    // Albums leave as the files they list.
    std::vector<OVViewModelRef> dragged = expandedFiles(picked);
    if (dragged.empty())
        return nullptr;
    return dragOutMimeData(dragged);
}

}  // namespace orv
