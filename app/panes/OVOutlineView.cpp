#include "app/panes/OVOutlineView.h"

#include <algorithm>

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include "app/toolkit/OVSelectionHighlight.h"
#include "app/toolkit/OVTableHeaderView.h"

namespace orv {
namespace {

constexpr int kRowHeight = 40;

// Rows are 40 high whatever their text; a pane that brings its own item
// delegate sizes its rows itself.
class RowHeightDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(kRowHeight);
        return size;
    }
};

}  // namespace

OVOutlineView::OVOutlineView(QWidget* parent) : QTreeView(parent), OVEditActionTarget(this)
{
    auto* header = new OVTableHeaderView(this);
    header->setStretchLastSection(false);
    setHeader(header);
    columns_.attachHeader(header);
    columns_.setOnToggle([this] { doItemsLayout(); });
    setItemDelegate(new RowHeightDelegate(this));
    setUniformRowHeights(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setAlternatingRowColors(true);
    setFrameShape(QFrame::NoFrame);
    setAttribute(Qt::WA_MacShowFocusRect, false);
    // Room for the triangle, moved right by disclosureXOffset, before the row's text.
    setIndentation(32);
    // The selection is painted under the cells by drawRow; the cells draw none.
    OVSelectionHighlight::preparePalette(this);
}

OVOutlineView::~OVOutlineView() = default;

bool OVOutlineView::selectionIsActive() const
{
    return OVSelectionHighlight::isActive(this);
}

void OVOutlineView::setDisclosureXOffset(double offset)
{
    disclosureXOffset_ = offset;
    viewport()->update();
}

void OVOutlineView::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QRect row(0, option.rect.y(), viewport()->width(), option.rect.height());
    // Whole rows: the alternate shade and the selection run past the last column.
    const bool selected = selectionModel() && selectionModel()->isSelected(index.siblingAtColumn(0));
    // Rows are all one height: the visual row number follows from the position.
    const int height = std::max(1, option.rect.height());
    const bool alternate = alternatingRowColors() && ((option.rect.top() + verticalOffset()) / height) % 2 == 1;
    OVSelectionHighlight::paintRow(painter, row, selected, alternate, selectionIsActive(),
                                   OVSelectionHighlight::alternateBrush(this));
    // The selection is the only mark of the current row: no focus frame.
    QStyleOptionViewItem plain = option;
    plain.state &= ~QStyle::State_HasFocus;
    QTreeView::drawRow(painter, plain, index);
    OVSelectionHighlight::paintGridLine(painter, row);
}

void OVOutlineView::drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const
{
    if (rect.isEmpty()) {
        QTreeView::drawBranches(painter, rect, index);
        return;
    }
    painter->save();
    painter->translate(disclosureXOffset_, 0);
    QTreeView::drawBranches(painter, rect, index);
    painter->restore();
}

void OVOutlineView::focusInEvent(QFocusEvent* event)
{
    QTreeView::focusInEvent(event);
    viewport()->update();
}

void OVOutlineView::focusOutEvent(QFocusEvent* event)
{
    QTreeView::focusOutEvent(event);
    viewport()->update();
}

QPoint OVOutlineView::scrollOffsetPoint() const
{
    return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void OVOutlineView::scrollToOffsetPoint(const QPoint& point)
{
    // A list laid out later (a model just set) would drop the offset.
    executeDelayedItemsLayout();
    horizontalScrollBar()->setValue(point.x());
    verticalScrollBar()->setValue(point.y());
}

void OVOutlineView::keyPressEvent(QKeyEvent* event)
{
    if (delegate_ && delegate_->keyDown(this, event))
        return;
    QTreeView::keyPressEvent(event);
}

void OVOutlineView::contextMenuEvent(QContextMenuEvent* event)
{
    if (!delegate_) {
        QTreeView::contextMenuEvent(event);
        return;
    }
    const QModelIndex index = indexAt(viewport()->mapFromGlobal(event->globalPos()));
    if (index.isValid() && !selectionModel()->isSelected(index.siblingAtColumn(0)))
        selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (QMenu* menu = delegate_->menuForEvent(this, event))
        menu->popup(event->globalPos());
}

}  // namespace orv
