// The file browser's icon view: cells for the shown entries, thumbnails and
// app-folder icons loaded only while their cell is on screen, keys, the
// preview's questions, switching to and from the list, and drags in and out.

#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>

#include "app/panes/OVDragOutMimeData.h"
#include "app/panes/OVFileItemView.h"
#include "app/panes/OVFileOutlineModel.h"
#include "app/panes/OVFileViewController.h"
#include "app/panes/OVOutlineView.h"
#include "app/panes/OVPathView.h"
#include "app/panes/OVPreviewWindow.h"
#include "app/panes/PaneGridKeys.h"
#include "app/shell/L10n.h"
#include "app/shell/OVMainWindowController.h"
#include "app/toolkit/IBCollectionView.h"
#include "app/toolkit/NSString+Path.h"
#include "app/toolkit/OVSegButton.h"
#include "core/bridge/facade/OVDeviceClient.h"

namespace orv {

namespace {


}  // namespace

// --- grid contents --------------------------------------------------------------------------

void OVFileViewController::reloadGrid()
{
    if (!gridView_)
        return;
    cleanThumbnailObservers();
    gridView_->reloadData();
}

int64_t OVFileViewController::collectionViewItemCount(IBCollectionView*, int64_t)
{
    return static_cast<int64_t>(items_.size());
}

IBSectionViewLayoutManager* OVFileViewController::collectionViewSectionLayoutManager(IBCollectionView*, int64_t)
{
    return &sectionLayoutManager_;
}

IBCollectionItemView* OVFileViewController::collectionViewItemViewWithIndexSet(IBCollectionView* view,
                                                                             const IBSectionIndexSet& pair)
{
    const int64_t index = pair.itemIndex();
    if (index < 0 || index >= static_cast<int64_t>(items_.size()))
        return nullptr;
    auto* cell = qobject_cast<OVFileItemView*>(view->dequeueReusableViewWithIdentifier(kItemViewIdentifier));
    if (!cell) {
        cell = new OVFileItemView;
        cell->setReuseIdentifier(kItemViewIdentifier);
    }
    fillCell(cell, items_[static_cast<size_t>(index)], pair);
    return cell;
}

void OVFileViewController::fillCell(OVFileItemView* cell, const OVViewModelRef& model, const IBSectionIndexSet& pair)
{
    cell->setRepresentedObject(model);
    cell->setTitle(model->displayname());
    cell->setIsKeyItem(model->isSystemFile());
    cell->setIsHiddenFile(model->isHiddenFile());
    cell->setIsVideo(model->isVideo());
    cell->setSubTitle(model->isSystemFile() ? L10n::text("DoNotTouch") : QString());
    const auto device = client();

    if (!model->isImage() && !model->isVideo()) {
        cell->setNeedIconShadow(false);
        cell->setImage(model->icon());
        if (model->isDir() && model->hasAppIcon()) {
            // An app's folder shows the app's name as title and its own name under it.
            cell->setSubTitle(lastPathComponent(model->path()));
            if (!model->observerIconLoading() && device)
                observeIcon(model, cell, pair);
        } else if (model->isDir() && !model->isSystemFile() && model->displayname() != model->rawfilename()) {
            cell->setSubTitle(model->rawfilename());
        }
        return;
    }
    const QImage thumbnail = model->thumbnail();
    if (!thumbnail.isNull()) {
        cell->setNeedIconShadow(true);
        cell->setImage(thumbnail);
        return;
    }
    cell->setNeedIconShadow(false);
    cell->setImage(model->icon());
    if (!model->observerThumbnailLoading() && device)
        observeThumbnail(model, cell, pair);
}

// --- thumbnails and icons --------------------------------------------------------------------

void OVFileViewController::observeThumbnail(const OVViewModelRef& model, OVFileItemView* cell,
                                            const IBSectionIndexSet& pair)
{
    model->setObserverThumbnailLoading(true);
    observedVisibleView_.insert(pair, cell);
    OVViewModel* raw = model.get();
    const QMetaObject::Connection connection =
        connect(raw, &OVViewModel::thumbnailChanged, this, [this, raw] { thumbnailArrived(raw); });
    observedThumbnails_[raw] = {model, connection};
    if (const auto device = client())
        model->loadThumbnail(*device);
}

void OVFileViewController::observeIcon(const OVViewModelRef& model, OVFileItemView* cell, const IBSectionIndexSet& pair)
{
    model->setObserverIconLoading(true);
    observedVisibleView_.insert(pair, cell);
    OVViewModel* raw = model.get();
    const QMetaObject::Connection connection =
        connect(raw, &OVViewModel::gotAppIconChanged, this, [this, raw] { iconArrived(raw); });
    observedIcons_[raw] = {model, connection};
    model->loadIcon(client().get());
}

int64_t OVFileViewController::indexOfItem(const OVViewModel* model) const
{
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == model)
            return static_cast<int64_t>(i);
    return -1;
}

void OVFileViewController::thumbnailArrived(OVViewModel* model)
{
    // Keeps the model alive while the observation is dropped.
    const auto found = observedThumbnails_.find(model);
    if (found == observedThumbnails_.end())
        return;
    const OVViewModelRef keep = found->second.first;
    model->setObserverThumbnailLoading(false);
    const int64_t index = indexOfItem(model);
    const IBSectionIndexSet pair(0, index);
    if (index >= 0) {
        const QPointer<OVFileItemView> cell = observedVisibleView_.value(pair);
        // A recycled cell shows another entry by now: leave it alone.
        if (cell && cell->representedObject().get() == model && !model->thumbnail().isNull()) {
            cell->setNeedIconShadow(true);
            cell->setImage(model->thumbnail());
            cell->update();
        }
        observedVisibleView_.remove(pair);
    }
    stopObservingThumbnail(model);
}

void OVFileViewController::iconArrived(OVViewModel* model)
{
    const auto found = observedIcons_.find(model);
    if (found == observedIcons_.end())
        return;
    const OVViewModelRef keep = found->second.first;
    model->setObserverIconLoading(false);
    const int64_t index = indexOfItem(model);
    const IBSectionIndexSet pair(0, index);
    if (index >= 0) {
        const QPointer<OVFileItemView> cell = observedVisibleView_.value(pair);
        if (cell && cell->representedObject().get() == model && model->gotAppIcon()) {
            cell->setNeedIconShadow(false);
            cell->setImage(model->icon());
            cell->update();
        }
        observedVisibleView_.remove(pair);
    }
    stopObservingIcon(model);
}

void OVFileViewController::stopObservingThumbnail(OVViewModel* model)
{
    const auto found = observedThumbnails_.find(model);
    if (found == observedThumbnails_.end())
        return;
    disconnect(found->second.second);
    observedThumbnails_.erase(found);
}

void OVFileViewController::stopObservingIcon(OVViewModel* model)
{
    const auto found = observedIcons_.find(model);
    if (found == observedIcons_.end())
        return;
    disconnect(found->second.second);
    observedIcons_.erase(found);
}

void OVFileViewController::collectionViewDidRemoveItemView(IBCollectionView*, IBCollectionItemView*,
                                                           const IBSectionIndexSet& pair)
{
    const int64_t index = pair.itemIndex();
    if (index < 0 || index >= static_cast<int64_t>(items_.size()))
        return;
    const OVViewModelRef model = items_[static_cast<size_t>(index)];
    if (model->observerThumbnailLoading()) {
        model->setObserverThumbnailLoading(false);
        observedVisibleView_.remove(pair);
        stopObservingThumbnail(model.get());
        model->cancelLoadThumbnail();
    }
    if (model->observerIconLoading()) {
        model->setObserverIconLoading(false);
        observedVisibleView_.remove(pair);
        stopObservingIcon(model.get());
        model->cancelLoadIcon();
    }
}

void OVFileViewController::cleanThumbnailObservers()
{
    auto thumbnails = std::move(observedThumbnails_);
    observedThumbnails_.clear();
    for (auto& [raw, entry] : thumbnails) {
        disconnect(entry.second);
        entry.first->cancelLoadThumbnail();
        entry.first->setObserverThumbnailLoading(false);
    }
    auto icons = std::move(observedIcons_);
    observedIcons_.clear();
    for (auto& [raw, entry] : icons) {
        disconnect(entry.second);
        entry.first->cancelLoadIcon();
        entry.first->setObserverIconLoading(false);
    }
    observedVisibleView_.clear();
}

// --- clicks, selection, keys, menus -------------------------------------------------------------

void OVFileViewController::collectionViewDidClickItemView(IBCollectionView*, const IBSectionIndexSet&) {}

void OVFileViewController::collectionViewDidDoubleClickItemView(IBCollectionView*, const IBSectionIndexSet& pair)
{
    const int64_t index = pair.itemIndex();
    if (index >= 0 && index < static_cast<int64_t>(items_.size()))
        doubleClickItem(items_[static_cast<size_t>(index)]);
}

void OVFileViewController::collectionViewSelectionDidChange(IBCollectionView*)
{
    validationButtons();
    if (OVPreviewWindow::sharedPreviewPanelExists() && OVPreviewWindow::sharedPreviewPanel()->isVisible())
        reloadQuicklook();
}

void OVFileViewController::collectionViewDidKeyDownEvent(IBCollectionView*, QKeyEvent* event)
{
    PaneGridKeyActions actions;
    actions.preview = [this](const OVViewModelRef& item) { quickLookPreviewItem(item, false); };
    actions.open = [this](const OVViewModelRef& item) { doubleClickItem(item); };
    actions.up = [this] {
        const OVViewModelRef parent = pathView_ ? pathView_->enclosingDirectory() : nullptr;
        if (parent && parent != currentDirectory())
            doubleClickItem(parent);
    };
    actions.remove = [this] { deleteAction(); };
    handlePaneGridKey(event, selectedItems(), actions);
}

QMenu* OVFileViewController::collectionViewMenuIndextSet(IBCollectionView*, const IBSectionIndexSet&)
{
    return rightClickMenu();
}

QMenu* OVFileViewController::collectionViewMenu(IBCollectionView*) { return nullptr; }

void OVFileViewController::deleteSelection(QObject*) { deleteAction(); }

// --- switching views ---------------------------------------------------------------------------

void OVFileViewController::switchViewAction()
{
    if (!viewStyleButton_ || !gridView_ || !listView_)
        return;
    if (inListView()) {
        if (listView_->parentWidget() == view() && listView_->isVisible()) {
            reloadCurrentViewData();
            return;
        }
        const std::vector<OVViewModelRef> selection = selectedItemsFromGridview();
        saveScrollViewOffset();
        gridView_->setParent(nullptr);
        addContentView(listView_);
        listModel_->setTopFolder(currentDirectory());
        restoreExpandedItems();
        restoreScrollViewOffset();
        if (!selection.empty()) {
            QItemSelection rows;
            for (const OVViewModelRef& model : selection) {
                const int64_t row = indexOfItem(model.get());
                if (row < 0)
                    continue;
                const QModelIndex index = listModel_->indexOfItem(model.get());
                if (index.isValid())
                    rows.select(index, index.siblingAtColumn(OVFileOutlineModel::ColumnCount - 1));
            }
            listView_->selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
        }
    } else {
        if (gridView_->parentWidget() == view() && gridView_->isVisible()) {
            reloadCurrentViewData();
            return;
        }
        const std::vector<OVViewModelRef> selection = selectedItemsFromListview();
        saveScrollViewOffset();
        listView_->setParent(nullptr);
        addContentView(gridView_);
        reloadGrid();
        restoreScrollViewOffset();
        QList<IBSectionIndexSet> pairs;
        for (const OVViewModelRef& model : selection) {
            const int64_t index = indexOfItem(model.get());
            if (index >= 0)
                pairs << IBSectionIndexSet(0, index);
        }
        if (!pairs.isEmpty())
            gridView_->selectItemWithIndexSets(pairs);
    }
    layoutSubView();
    if (QWidget* focus = firstResponder())
        focus->setFocus();
}

// --- Quick Look ---------------------------------------------------------------------------------

QuickLookDownloadItemView* OVFileViewController::quickLookDownloadItemViewForItem(const OVViewModelRef& item)
{
    const int64_t index = indexOfItem(item.get());
    if (index < 0 || !gridView_)
        return nullptr;
    return qobject_cast<OVFileItemView*>(gridView_->itemViewWithIndexSet(IBSectionIndexSet(0, index)));
}

QRect OVFileViewController::screenRectForItem(const OVViewModelRef& item)
{
    if (!item)
        return {};
    if (inListView() && listView_ && listModel_) {
        const QModelIndex index = listModel_->indexOfItem(item.get());
        if (!index.isValid())
            return {};
        QRect rect = listView_->visualRect(index);
        rect.setWidth(40);
        return QRect(listView_->viewport()->mapToGlobal(rect.topLeft()), rect.size());
    }
    const int64_t index = indexOfItem(item.get());
    if (index < 0 || !gridView_)
        return {};
    OVFileItemView* cell = qobject_cast<OVFileItemView*>(gridView_->itemViewWithIndexSet(IBSectionIndexSet(0, index)));
    if (!cell)
        return {};
    const QRect image = cell->imageRect().toAlignedRect();
    return QRect(cell->mapToGlobal(image.topLeft()), image.size());
}

void OVFileViewController::reloadQuicklook()
{
    const std::vector<OVViewModelRef> selection = selectedItems();
    if (!selection.empty())
        quickLookPreviewItem(selection.front(), true);
}

bool OVFileViewController::previewPanelHandleEvent(QKeyEvent* event)
{
    if (!event || event->type() != QEvent::KeyPress)
        return false;
    QWidget* target = inListView() ? static_cast<QWidget*>(listView_) : static_cast<QWidget*>(gridView_);
    if (target) {
        QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->text());
        QCoreApplication::sendEvent(target, &copy);
    }
    reloadQuicklook();
    return true;
}

// --- drag in ----------------------------------------------------------------------------------

Qt::DropAction OVFileViewController::collectionViewDraggingEntered(IBCollectionView*, QDragEnterEvent* event)
{
    dropOperation_ = OVFileOutlineModel::localPaths(event->mimeData()).isEmpty() ? Qt::IgnoreAction : Qt::CopyAction;
    return dropOperation_;
}

Qt::DropAction OVFileViewController::collectionViewDraggingUpdated(IBCollectionView* view, QDragMoveEvent*,
                                                                 const std::optional<IBSectionIndexSet>& pair)
{
    if (lastDropItemView_)
        lastDropItemView_->setDropOn(false);
    lastDropItemView_ = nullptr;
    if (pair) {
        auto* cell = qobject_cast<OVFileItemView*>(view->itemViewWithIndexSet(pair));
        if (cell && cell->representedObject() && cell->representedObject()->isDir() &&
            !cell->representedObject()->isSystemFile()) {
            cell->setDropOn(true);
            lastDropItemView_ = cell;
        }
    }
    return dropOperation_;
}

void OVFileViewController::collectionViewDraggingExited(IBCollectionView*, QDragLeaveEvent*)
{
    dropOperation_ = Qt::IgnoreAction;
    // The highlight goes with the drag, not at the next drag's first move.
    if (lastDropItemView_)
        lastDropItemView_->setDropOn(false);
    lastDropItemView_ = nullptr;
}

bool OVFileViewController::collectionViewPerformDragOperation(IBCollectionView* view, QDropEvent* event,
                                                              const std::optional<IBSectionIndexSet>& pair)
{
    if (lastDropItemView_)
        lastDropItemView_->setDropOn(false);
    lastDropItemView_ = nullptr;
    OVViewModelRef destination;
    if (pair) {
        auto* cell = qobject_cast<OVFileItemView*>(view->itemViewWithIndexSet(pair));
        if (cell && cell->representedObject() && cell->representedObject()->isDir())
            destination = cell->representedObject();
    }
    return importDroppedFiles(OVFileOutlineModel::localPaths(event->mimeData()), destination);
}

bool OVFileViewController::importDroppedFiles(const QStringList& localPaths, const OVViewModelRef& destination)
{
    const OVViewModelRef current = currentDirectory();
    const OVViewModelRef target = destination ? destination : current;
    if (localPaths.isEmpty() || !target || isTransferRunning())
        return false;
    // Every finished import lists the current folder again; a drop on a
    // sub-folder's cell leaves the grid as it is otherwise.
    doImport(localPaths, target, nullptr);
    return true;
}

// --- drag out ---------------------------------------------------------------------------------

std::optional<QStringList> OVFileViewController::collectionViewDragPromisedFilesOfTypes(IBCollectionView*)
{
    return QStringList{QStringLiteral("text/uri-list")};
}

QMimeData* OVFileViewController::collectionViewDragMimeData(IBCollectionView*, const QStringList&,
                                                           const QList<IBSectionIndexSet>& pairs)
{
    const auto device = client();
    if (!device || isTransferRunning())
        return nullptr;
    std::vector<OVViewModelRef> dragged;
    for (const IBSectionIndexSet& pair : pairs) {
        const int64_t index = pair.itemIndex();
        if (index >= 0 && index < static_cast<int64_t>(items_.size()))
            dragged.push_back(items_[static_cast<size_t>(index)]);
    }
    if (dragged.empty())
        return nullptr;
    return dragOutMimeData(dragged);
}

}  // namespace orv
