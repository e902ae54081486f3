#include "app/toolkit/IBCollectionSectionView.h"

#include <QEvent>
#include <algorithm>

#include "app/toolkit/IBCollectionItemView.h"
#include "app/toolkit/IBCollectionSectionHeaderView.h"

namespace orv {

IBCollectionSectionView::IBCollectionSectionView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_NoSystemBackground);
    // A parent given here sends no parent-change event.
    if (parent)
        IBCollectionSectionView::viewDidMoveToSuperview();
}

void IBCollectionSectionView::setHeaderView(QWidget* view)
{
    headerView_ = view;
}

void IBCollectionSectionView::setBottomView(QWidget* view)
{
    bottomView_ = view;
}

QList<IBCollectionItemView*> IBCollectionSectionView::tiles() const
{
    QList<IBCollectionItemView*> result;
    for (QObject* child : children())
        if (auto* tile = qobject_cast<IBCollectionItemView*>(child);
            tile && !tile->isHidden() && tile != headerView_ && tile != bottomView_)
            result.append(tile);
    return result;
}

void IBCollectionSectionView::viewDidMoveToSuperview()
{
    if (!parentWidget())
        return;
    if (hasHeader_ && !headerView_)
        headerView_ = new IBCollectionSectionHeaderView(this);
    for (QWidget* strip : {headerView_.data(), bottomView_.data()}) {
        if (strip && strip->parentWidget() != this) {
            strip->setParent(this);
            strip->show();
        }
    }
}

bool IBCollectionSectionView::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::ParentChange)
        viewDidMoveToSuperview();
    return handled;
}

void IBCollectionSectionView::trackHeaderViewWithVisibleRect(QRectF visible)
{
    if (!headerView_)
        return;
    const QRectF frame = geometry();
    double y = 0;
    if (frame.y() < visible.y()) {
        double limit = frame.height() - headerView_->height();
        if (hasBottom_ && bottomView_)
            limit -= bottomView_->height();
        y = std::min(visible.y() - frame.y(), limit);
    }
    headerView_->move(qRound(visible.x()), qRound(y));
}

}  // namespace orv
