#include "app/toolkit/IBCollectionItemView.h"

#include <QPainter>

namespace orv {

IBCollectionItemView::IBCollectionItemView(QWidget* parent) : QWidget(parent) {}

void IBCollectionItemView::setSelected(bool selected)
{
    if (selected_ == selected)
        return;
    selected_ = selected;
    update();
}

bool IBCollectionItemView::clickTest(QPointF) const
{
    return true;
}

bool IBCollectionItemView::accpetSelectWithPoint(QPointF point) const
{
    return QRectF(rect()).contains(point);
}

bool IBCollectionItemView::accpetSelectWithRect(QRectF band) const
{
    // QRectF::intersects needs a shared area, so touching edges do not count.
    return QRectF(rect()).intersects(band);
}

bool IBCollectionItemView::accpetMouseEventWithEvent(QMouseEvent*)
{
    return true;
}

bool IBCollectionItemView::trackMouseEvent(QMouseEvent*)
{
    return false;
}

void IBCollectionItemView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), selected_ ? QColor(Qt::yellow) : QColor(Qt::blue));
}

}  // namespace orv
