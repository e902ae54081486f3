#include "app/toolkit/OVTableView.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <vector>

#include "app/toolkit/OVSelectionHighlight.h"
#include "app/toolkit/OVTableHeaderView.h"
#include "app/toolkit/OVSongTableCell.h"

namespace orv {

OVTableView::OVTableView(QWidget* parent) : QTableView(parent), OVEditActionTarget(this)
{
    setHorizontalHeader(new OVTableHeaderView(this));
    columns_.attachHeader(horizontalHeader());
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(40);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setAlternatingRowColors(true);
    // The grid is one line under each row, drawn with the selection.
    setShowGrid(false);
    setFrameShape(QFrame::NoFrame);
    setAttribute(Qt::WA_MacShowFocusRect, false);
    setItemDelegate(new OVSongTableCell(this));
    OVSelectionHighlight::preparePalette(this);
}

OVTableView::~OVTableView() = default;

void OVTableView::installAlternatingRowColors()
{
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::AlternateBase, QColor(247, 247, 247));
    QApplication::setPalette(palette);
}

QPoint OVTableView::scrollOffsetPoint() const
{
    return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void OVTableView::scrollToOffsetPoint(const QPoint& point)
{
    horizontalScrollBar()->setValue(point.x());
    verticalScrollBar()->setValue(point.y());
}

bool OVTableView::selectionIsActive() const
{
    return OVSelectionHighlight::isActive(this);
}

void OVTableView::paintEvent(QPaintEvent* event)
{
    // Whole rows: the alternate shade, the selection and the grid line run
    // past the last column; the cells paint over the row fill.
    struct Row {
        QRect rect;
        bool selected;
        bool alternate;
    };
    std::vector<Row> rows;
    const QHeaderView* header = verticalHeader();
    if (model() && header->count() > 0) {
        const QRect area = event->rect();
        const int first = header->visualIndexAt(area.top());
        const int last = header->visualIndexAt(area.bottom());
        for (int v = first < 0 ? header->count() : first; v <= (last < 0 ? header->count() - 1 : last); ++v) {
            const int r = header->logicalIndex(v);
            if (header->isSectionHidden(r))
                continue;
            const bool selected = selectionModel() && selectionModel()->isSelected(model()->index(r, 0, rootIndex()));
            rows.push_back({QRect(0, rowViewportPosition(r), viewport()->width(), rowHeight(r)), selected,
                            alternatingRowColors() && (v & 1)});
        }
    }
    {
        QPainter painter(viewport());
        const bool active = selectionIsActive();
        for (const Row& row : rows)
            OVSelectionHighlight::paintRow(&painter, row.rect, row.selected, row.alternate, active,
                                           OVSelectionHighlight::alternateBrush(this));
    }
    QTableView::paintEvent(event);
    QPainter painter(viewport());
    for (const Row& row : rows)
        OVSelectionHighlight::paintGridLine(&painter, row.rect);
}

void OVTableView::focusInEvent(QFocusEvent* event)
{
    QTableView::focusInEvent(event);
    viewport()->update();
}

void OVTableView::focusOutEvent(QFocusEvent* event)
{
    QTableView::focusOutEvent(event);
    viewport()->update();
}

void OVTableView::keyPressEvent(QKeyEvent* event)
{
    if (delegate_ && delegate_->keyDownEvent(this, event))
        return;
    if (event->matches(QKeySequence::Copy) && delegate_) {
        delegate_->tableViewCopy(this);
        return;
    }
    QTableView::keyPressEvent(event);
}

void OVTableView::contextMenuEvent(QContextMenuEvent* event)
{
    const QModelIndex index = indexAt(viewport()->mapFromGlobal(event->globalPos()));
    if (!index.isValid()) {
        clearSelection();
        return;
    }
    if (!selectionModel()->isRowSelected(index.row(), index.parent()))
        selectRow(index.row());
    if (!delegate_)
        return;
    if (QMenu* menu = delegate_->menuForEvent(this, event))
        menu->popup(event->globalPos());
}

}  // namespace orv
