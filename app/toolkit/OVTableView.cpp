#include "app/toolkit/OVTableView.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QScrollBar>

#include "app/toolkit/OVTableHeaderView.h"

namespace orv {

OVTableView::OVTableView(QWidget* parent) : QTableView(parent)
{
    setHorizontalHeader(new OVTableHeaderView(this));
    columns_.attachHeader(horizontalHeader());
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(40);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setAlternatingRowColors(true);
    setShowGrid(false);
    setFrameShape(QFrame::NoFrame);
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
