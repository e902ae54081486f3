// Dragging the selection out of the grid, and drops onto the grid forwarded
// to the delegate with the pair under the pointer.

#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QScrollBar>

#include "app/toolkit/IBCollectionDragBadge.h"
#include "app/toolkit/IBCollectionItemView.h"
#include "app/toolkit/IBCollectionView.h"
#include "app/toolkit/IBCollectionViewDelegate.h"

namespace orv {

namespace {
// A drag that began in this application: its items may not land on its own views.
bool fromThisApplication(const QDropEvent* event)
{
    return event->source() != nullptr;
}
}  // namespace

void IBCollectionView::startDrag(const QStringList& types, QPointF contentPointer)
{
    draggingItemView_ = itemViewWithIndexSet(itemIndexSetWithPoint(contentPointer));
    QMimeData* data = delegate_->collectionViewDragMimeData(this, types, selecteds_);
    if (!data) {
        draggingItemView_ = nullptr;
        return;
    }
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    QPixmap tile;
    QPoint hotSpot(16, 16);
    if (draggingItemView_) {
        tile = draggingItemView_->grab();
        hotSpot = (contentPointer - itemRectWithIndexSet(draggingItemView_->indexSet()).topLeft()).toPoint();
    }
    drag->setPixmap(dragPixmapWithBadge(tile, hotSpot, selecteds_.size()));
    drag->setHotSpot(hotSpot);
    dragging_ = true;
    endBand();
    execDrag(drag);
    // The drag is over, dropped or not.
    dragging_ = false;
    stateMode_ = StateIdle;
    draggingItemView_ = nullptr;
}

Qt::DropAction IBCollectionView::execDrag(QDrag* drag)
{
    return drag->exec(Qt::CopyAction, Qt::CopyAction);
}

std::optional<QStringList> IBCollectionView::namesOfPromisedFilesDroppedAtDestination(const QUrl& destination)
{
    if (!delegate_)
        return std::nullopt;
    return delegate_->collectionViewNamesOfPromisedFilesDroppedAtDestination(this, destination);
}

void IBCollectionView::registerForDraggedTypes(const QStringList& mimeTypes)
{
    draggedTypes_ = mimeTypes;
    viewport()->setAcceptDrops(!mimeTypes.isEmpty());
}

void IBCollectionView::dragEnterEvent(QDragEnterEvent* event)
{
    const QMimeData* data = event->mimeData();
    const bool offered = data && std::any_of(draggedTypes_.begin(), draggedTypes_.end(),
                                             [&](const QString& type) { return data->hasFormat(type); });
    if (!delegate_ || !offered || fromThisApplication(event)) {
        event->ignore();
        return;
    }
    // Taken so that moves follow; each move then says whether a drop is welcome there.
    const Qt::DropAction action = delegate_->collectionViewDraggingEntered(this, event);
    if (action != Qt::IgnoreAction)
        event->setDropAction(action);
    event->accept();
}

void IBCollectionView::dragMoveEvent(QDragMoveEvent* event)
{
    if (!delegate_ || fromThisApplication(event)) {
        event->ignore();
        return;
    }
    const auto pair = itemIndexSetWithPoint(event->position() + scrollOffsetPoint());
    const Qt::DropAction action = delegate_->collectionViewDraggingUpdated(this, event, pair);
    if (action == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    event->setDropAction(action);
    event->accept();
}

void IBCollectionView::dragLeaveEvent(QDragLeaveEvent* event)
{
    if (delegate_)
        delegate_->collectionViewDraggingExited(this, event);
}

void IBCollectionView::dropEvent(QDropEvent* event)
{
    if (!delegate_ || fromThisApplication(event)) {
        event->ignore();
        return;
    }
    const auto pair = itemIndexSetWithPoint(event->position() + scrollOffsetPoint());
    if (delegate_->collectionViewPerformDragOperation(this, event, pair))
        event->acceptProposedAction();
    else
        event->ignore();
}

}  // namespace orv
