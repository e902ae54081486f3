// Selection, mouse and keyboard of the grid: an event-driven state machine
// (press arms a band or a drag, moves grow the band or start the drag,
// release returns to idle), deferred single clicks and arrow navigation.

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <algorithm>

#include "app/toolkit/IBCollectionItemView.h"
#include "app/toolkit/IBCollectionSectionView.h"
#include "app/toolkit/IBCollectionSelectionRegionView.h"
#include "app/toolkit/IBCollectionView.h"
#include "app/toolkit/IBCollectionViewDelegate.h"
#include "app/toolkit/IBSectionViewLayoutManager.h"

namespace orv {

// ---- selection operations

bool IBCollectionView::inRange(const IBSectionIndexSet& pair) const
{
    const int64_t section = pair.sectionIndex();
    if (isSectionViewMode_ ? (section < 0 || section >= sectionCount_) : section != 0)
        return false;
    return pair.itemIndex() >= 0 && pair.itemIndex() < itemCountInSectionIndex(section);
}

void IBCollectionView::addSelected(const IBSectionIndexSet& pair)
{
    if (!selectedSet_.contains(pair)) {
        selectedSet_.insert(pair);
        selecteds_.append(pair);
    }
}

bool IBCollectionView::removeSelected(const IBSectionIndexSet& pair)
{
    if (!selectedSet_.remove(pair))
        return false;
    selecteds_.removeOne(pair);
    return true;
}

void IBCollectionView::clearSelection()
{
    selecteds_.clear();
    selectedSet_.clear();
}

void IBCollectionView::selectionDidChange()
{
    updateDisplayWithRect(visibleRect());
    if (delegate_)
        delegate_->collectionViewSelectionDidChange(this);
}

void IBCollectionView::selectAll()
{
    clearSelection();
    for (int64_t section = 0; section < sectionSlots(); ++section)
        for (int64_t item = 0, count = itemCountInSectionIndex(section); item < count; ++item)
            addSelected(IBSectionIndexSet(section, item));
    selectionDidChange();
}

void IBCollectionView::selectItemWithIndexSet(const IBSectionIndexSet& pair)
{
    clearSelection();
    if (inRange(pair))
        addSelected(pair);
    selectionDidChange();
}

void IBCollectionView::selectItemWithIndexSets(const QList<IBSectionIndexSet>& pairs)
{
    clearSelection();
    for (const IBSectionIndexSet& pair : pairs)
        if (inRange(pair))
            addSelected(pair);
    selectionDidChange();
}

void IBCollectionView::deselect()
{
    clearSelection();
    selectionDidChange();
}

void IBCollectionView::deselectItemWithIndexSet(const IBSectionIndexSet& pair)
{
    if (removeSelected(pair))
        selectionDidChange();
}

void IBCollectionView::deselectItemWithIndexSets(const QList<IBSectionIndexSet>& pairs)
{
    const qsizetype before = selecteds_.size();
    for (const IBSectionIndexSet& pair : pairs)
        removeSelected(pair);
    if (selecteds_.size() != before)
        selectionDidChange();
}

// ---- hit test and clicks

std::optional<IBSectionIndexSet> IBCollectionView::itemIndexSetWithPoint(QPointF point)
{
    int64_t section = 0;
    if (isSectionViewMode_) {
        const QList<int64_t> sections = sectionIndexSetWithRect(QRectF(point, QSizeF()));
        auto containing = std::find_if(sections.begin(), sections.end(),
                                       [&](int64_t s) { return sectionFrame(s).contains(point); });
        if (containing == sections.end())
            return std::nullopt;
        section = *containing;
    }
    for (int64_t item : itemIndexSetWithRect(QRectF(point, QSizeF()), section, layoutWithSectionIndex(section))) {
        const IBSectionIndexSet pair(section, item);
        const QRectF rect = itemRectWithIndexSet(pair);
        if (!rect.contains(point))
            continue;
        IBCollectionItemView* view = visibleItemViews_.value(pair);
        if (view && view->clickTest(point - rect.topLeft()))
            return pair;
        return std::nullopt;
    }
    return std::nullopt;
}

void IBCollectionView::onItemViewSingleClick(const IBSectionIndexSet& pair)
{
    // The data may have changed since the press; never report a pair that is gone.
    if (delegate_ && inRange(pair))
        delegate_->collectionViewDidClickItemView(this, pair);
}

void IBCollectionView::onItemViewDoubleClick(const IBSectionIndexSet& pair)
{
    if (delegate_ && inRange(pair))
        delegate_->collectionViewDidDoubleClickItemView(this, pair);
}

QPointF IBCollectionView::contentPoint(QPointF globalPosition) const
{
    // From the global position, because a press that began on a tile keeps
    // arriving through that tile even after it scrolled out and was parked.
    return contentView_->mapFromGlobal(globalPosition);
}

bool IBCollectionView::canDragOut()
{
    return delegate_ && delegate_->collectionViewDragPromisedFilesOfTypes(this).has_value();
}

void IBCollectionView::leftPress(QMouseEvent* event, int clickCount)
{
    const QPointF point = contentPoint(event->globalPosition());
    firstMouseDownPoint_ = point;
    pressGridPoint_ = mapFromGlobal(event->globalPosition().toPoint());
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const bool extends = ((modifiers & Qt::ControlModifier) != 0) != ((modifiers & Qt::ShiftModifier) != 0) &&
                         !(modifiers & (Qt::AltModifier | Qt::MetaModifier));
    const std::optional<IBSectionIndexSet> hit = itemIndexSetWithPoint(point);
    QPointer<IBCollectionItemView> view = itemViewWithIndexSet(hit);
    const bool accepts = view && view->accpetSelectWithPoint(point - itemRectWithIndexSet(*hit).topLeft());
    bool changed = false;

    if (accepts && isSelected(*hit)) {
        if (extends && !selecteds_.isEmpty())
            changed = removeSelected(*hit);
        stateMode_ = canDragOut() ? StateDragArmed : StateBand;
    } else {
        stateMode_ = StateBand;
        if (!(extends && selectionMode_ != SelectionSingle) && !selecteds_.isEmpty()) {
            clearSelection();
            changed = true;
        }
        if (accepts && !isSelected(*hit)) {
            addSelected(*hit);
            changed = true;
            stateMode_ = canDragOut() ? StateDragArmed : StateBand;
        }
    }
    if (selectionMode_ == SelectionNone) {
        clearSelection();
        stateMode_ = StateIdle;
        changed = true;
    }
    if (stateMode_ == StateBand)
        selectingRegionRect_ = QRectF(firstMouseDownPoint_, QSizeF());
    if (changed)
        selectionDidChange();

    if (!hit || !view)
        return;
    if (view->accpetMouseEventWithEvent(event) && view->trackMouseEvent(event)) {
        stateMode_ = StateIdle;
        return;
    }
    if (clickCount == 1) {
        if (distinctSingleDoubleClick_) {
            pendingClick_ = *hit;
            singleClickTimer_.start(QApplication::doubleClickInterval());
        } else {
            onItemViewSingleClick(*hit);
        }
    } else if (clickCount == 2) {
        if (distinctSingleDoubleClick_) {
            singleClickTimer_.stop();
            pendingClick_.reset();
        }
        onItemViewDoubleClick(*hit);
    }
}

void IBCollectionView::rightPress(QMouseEvent* event)
{
    if (event->modifiers() & (Qt::AltModifier | Qt::ShiftModifier | Qt::ControlModifier)) {
        event->ignore();
        return;
    }
    const QPointF point = contentPoint(event->globalPosition());
    const std::optional<IBSectionIndexSet> hit = itemIndexSetWithPoint(point);
    QPointer<IBCollectionItemView> view = itemViewWithIndexSet(hit);
    bool changed = false;
    if ((!hit || !isSelected(*hit)) && !selecteds_.isEmpty()) {
        clearSelection();
        changed = true;
    }
    if (view && view->accpetSelectWithPoint(point - itemRectWithIndexSet(*hit).topLeft()) && !isSelected(*hit)) {
        addSelected(*hit);
        changed = true;
    }
    if (changed)
        selectionDidChange();
    if (!delegate_)
        return;
    QMenu* menu = nullptr;
    if (!hit || !view)
        menu = delegate_->collectionViewMenu(this);
    else if (!(view->accpetMouseEventWithEvent(event) && view->trackMouseEvent(event)))
        menu = delegate_->collectionViewMenuIndextSet(this, *hit);
    if (menu)
        popupMenu(menu, event->globalPosition().toPoint());
}

void IBCollectionView::popupMenu(QMenu* menu, QPoint globalPosition)
{
    menu->popup(globalPosition);
}

void IBCollectionView::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() == Qt::LeftButton)
        leftPress(event, 1);
    else if (event->button() == Qt::RightButton)
        rightPress(event);
    else
        event->ignore();
}

void IBCollectionView::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() == Qt::LeftButton)
        leftPress(event, 2);
    else if (event->button() == Qt::RightButton)
        rightPress(event);
    else
        event->ignore();
}

void IBCollectionView::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton)) {
        event->ignore();
        return;
    }
    event->accept();
    trackMouseDragged(event);
}

bool IBCollectionView::trackMouseDragged(QMouseEvent* event)
{
    const QPointF point = contentPoint(event->globalPosition());
    lastPointerGlobal_ = event->globalPosition();
    if (stateMode_ == StateDragArmed) {
        if (dragging_ || draggingItemView_)
            return true;
        const QPoint gridPoint = mapFromGlobal(event->globalPosition().toPoint());
        if ((gridPoint - pressGridPoint_).manhattanLength() < QApplication::startDragDistance())
            return true;
        std::optional<QStringList> types =
            delegate_ ? delegate_->collectionViewDragPromisedFilesOfTypes(this) : std::nullopt;
        if (!types)
            return true;
        startDrag(*types, point);
        return false;
    }
    if (stateMode_ == StateBand && selectionMode_ == SelectionMultiple) {
        updateBand(point);
        const int y = viewport()->mapFromGlobal(lastPointerGlobal_).toPoint().y();
        if (y < 0 || y >= viewport()->height()) {
            if (!autoscrollTimer_.isActive())
                autoscrollTimer_.start();
        } else {
            autoscrollTimer_.stop();
        }
        return true;
    }
    if (stateMode_ == StateBand)
        endBand();
    return true;
}

void IBCollectionView::updateBand(QPointF pointer)
{
    if (!selectionRegionView_) {
        selectionRegionView_ = new IBCollectionSelectionRegionView(viewport());
        selectionRegionView_->setGeometry(viewport()->rect());
        selectionRegionView_->show();
        selectionRegionView_->raise();
    }
    const QPointF first = firstMouseDownPoint_;
    const double height = std::abs(pointer.y() - first.y());
    selectingRegionRect_ = QRectF(std::min(pointer.x(), first.x()), std::min(pointer.y(), first.y()),
                                  std::abs(pointer.x() - first.x()), height == 0 ? 1 : height);
    clearSelection();
    for (const IBSectionIndexSet& pair : itemIndexsWithRect(selectingRegionRect_))
        addSelected(pair);
    selectionDidChange();
    if (selectionRegionView_) {
        selectionRegionView_->setGeometry(viewport()->rect());
        selectionRegionView_->drawFrameWithRect(selectingRegionRect_.translated(-scrollOffsetPoint()));
    }
}

void IBCollectionView::autoscrollStep()
{
    if (stateMode_ != StateBand || !selectionRegionView_) {
        autoscrollTimer_.stop();
        return;
    }
    const int y = viewport()->mapFromGlobal(lastPointerGlobal_).toPoint().y();
    int delta = 0;
    if (y < 0)
        delta = y;
    else if (y >= viewport()->height())
        delta = y - viewport()->height() + 1;
    if (delta == 0) {
        autoscrollTimer_.stop();
        return;
    }
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->value() + delta);
    updateBand(contentPoint(lastPointerGlobal_));
}

void IBCollectionView::endBand()
{
    autoscrollTimer_.stop();
    if (selectionRegionView_)
        delete selectionRegionView_.data();
}

void IBCollectionView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    event->accept();
    endBand();
    stateMode_ = StateIdle;
    draggingItemView_ = nullptr;
}

void IBCollectionView::contextMenuEvent(QContextMenuEvent* event)
{
    // Right presses already showed the menu; this only keeps the event from
    // travelling to the parents.
    event->accept();
}

// ---- keys

void IBCollectionView::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    const bool arrow = key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
    if (key == Qt::Key_Escape) {
        QAbstractScrollArea::keyPressEvent(event);
    } else if (event->matches(QKeySequence::SelectAll)) {
        event->accept();
        selectAll();
    } else if (arrow && !(event->modifiers() & Qt::ControlModifier)) {
        event->accept();
        if (selectionMode_ != SelectionNone)
            navigateByArrowKey(key);
    } else {
        event->accept();
    }
    if (delegate_)
        delegate_->collectionViewDidKeyDownEvent(this, event);
}

std::optional<IBSectionIndexSet> IBCollectionView::arrowTarget(int key)
{
    QList<IBSectionIndexSet> ordered = selecteds_;
    std::stable_sort(ordered.begin(), ordered.end(), [](const IBSectionIndexSet& a, const IBSectionIndexSet& b) {
        return a.sectionIndex() < b.sectionIndex();
    });
    const double width = viewport()->width();
    auto columnsOf = [&](int64_t section) { return layoutWithSectionIndex(section)->countOfColumnForWidth(width); };
    // Sections that show tiles: collapsed and empty ones are stepped over.
    auto usable = [&](int64_t section) {
        return itemCountInSectionIndex(section) > 0 && (!isSectionViewMode_ || sectionExpanded(section));
    };
    const IBSectionIndexSet first = ordered.first();
    const IBSectionIndexSet last = ordered.last();
    switch (key) {
    case Qt::Key_Left: {
        const int64_t columns = columnsOf(first.sectionIndex());
        if (first.itemIndex() % columns == 0)
            return first;
        return IBSectionIndexSet(first.sectionIndex(), first.itemIndex() - 1);
    }
    case Qt::Key_Right: {
        const int64_t columns = columnsOf(last.sectionIndex());
        const int64_t count = itemCountInSectionIndex(last.sectionIndex());
        if (last.itemIndex() % columns == columns - 1 || last.itemIndex() >= count - 1)
            return last;
        return IBSectionIndexSet(last.sectionIndex(), last.itemIndex() + 1);
    }
    case Qt::Key_Down: {
        const int64_t section = last.sectionIndex();
        const int64_t item = last.itemIndex();
        const int64_t columns = columnsOf(section);
        const int64_t count = itemCountInSectionIndex(section);
        const int64_t column = item % columns;
        if (item / columns < (count - 1) / columns)
            return IBSectionIndexSet(section, std::min(item + columns, count - 1));
        for (int64_t next = section + 1; next < sectionSlots(); ++next) {
            if (!usable(next))
                continue;
            const int64_t nextCount = itemCountInSectionIndex(next);
            return IBSectionIndexSet(next, std::min({column, columnsOf(next) - 1, nextCount - 1}));
        }
        return last;
    }
    case Qt::Key_Up: {
        const int64_t section = first.sectionIndex();
        const int64_t item = first.itemIndex();
        const int64_t columns = columnsOf(section);
        if (item >= columns)
            return IBSectionIndexSet(section, item - columns);
        const int64_t column = item % columns;
        for (int64_t previous = section - 1; previous >= 0; --previous) {
            if (!usable(previous))
                continue;
            const int64_t previousCount = itemCountInSectionIndex(previous);
            const int64_t previousColumns = columnsOf(previous);
            const int64_t lastRowStart = (previousCount - 1) / previousColumns * previousColumns;
            return IBSectionIndexSet(previous,
                                     std::min(lastRowStart + std::min(column, previousColumns - 1), previousCount - 1));
        }
        return first;
    }
    default:
        return std::nullopt;
    }
}

void IBCollectionView::navigateByArrowKey(int key)
{
    if (selecteds_.isEmpty()) {
        const QList<IBSectionIndexSet> placed = visibleItemViews_.keys();
        if (placed.isEmpty())
            return;
        const IBSectionIndexSet lowest = *std::min_element(
            placed.begin(), placed.end(), [](const IBSectionIndexSet& a, const IBSectionIndexSet& b) {
                return std::pair(a.sectionIndex(), a.itemIndex()) < std::pair(b.sectionIndex(), b.itemIndex());
            });
        selectItemWithIndexSet(lowest);
        scrollToIndexSet(lowest);
        return;
    }
    const std::optional<IBSectionIndexSet> target = arrowTarget(key);
    if (!target)
        return;
    selectItemWithIndexSet(*target);
    scrollToIndexSet(*target);
}

// ---- edit actions

bool IBCollectionView::validateMenuItem(QAction* item)
{
    return delegate_ && delegate_->validateMenuItem(item).value_or(false);
}

void IBCollectionView::deleteSelection(QObject* sender)
{
    if (delegate_)
        delegate_->deleteSelection(sender);
}

void IBCollectionView::importAction()
{
    if (delegate_)
        delegate_->importAction(this);
}

void IBCollectionView::exportAction()
{
    if (delegate_)
        delegate_->exportAction(this);
}

}  // namespace orv
