#include "app/panes/OVOutlineView.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

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

OVOutlineView::OVOutlineView(QWidget* parent) : QTreeView(parent)
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
    QPalette p = palette();
    p.setColor(QPalette::Base, Qt::white);
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        p.setBrush(group, QPalette::Highlight, Qt::transparent);
        p.setColor(group, QPalette::HighlightedText, Qt::white);
    }
    setPalette(p);
}

OVOutlineView::~OVOutlineView() = default;

QBrush OVOutlineView::selectionBrush(const QRect& row, bool active)
{
    if (!active)
        return QBrush(QColor::fromRgbF(0.5725490196078431f, 0.5725490196078431f, 0.5725490196078431f));
    QLinearGradient gradient(row.topLeft(), row.bottomLeft());
    gradient.setColorAt(0, QColor(90, 138, 245));
    gradient.setColorAt(0.64, QColor(82, 131, 244));
    gradient.setColorAt(1, QColor(79, 127, 243));
    return QBrush(gradient);
}

bool OVOutlineView::selectionIsActive() const
{
    return hasFocus() && window()->isActiveWindow();
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
    if (selectionModel() && selectionModel()->isSelected(index.siblingAtColumn(0)))
        painter->fillRect(row, selectionBrush(row, selectionIsActive()));
    else if (option.features & QStyleOptionViewItem::Alternate)
        painter->fillRect(row, palette().brush(QPalette::AlternateBase));
    // The selection is the only mark of the current row: no focus frame.
    QStyleOptionViewItem plain = option;
    plain.state &= ~QStyle::State_HasFocus;
    QTreeView::drawRow(painter, plain, index);
    painter->fillRect(QRect(0, row.bottom(), row.width(), 1), gridColor());
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

bool OVOutlineView::validateMenuItem(QAction* item) const
{
    return delegate_ && delegate_->validateMenuItem(item);
}

void OVOutlineView::deleteAction(QObject* sender)
{
    if (delegate_)
        delegate_->deleteAction(sender);
}

void OVOutlineView::importAction()
{
    if (delegate_)
        delegate_->importAction(this);
}

void OVOutlineView::exportAction()
{
    if (delegate_)
        delegate_->exportAction(this);
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
