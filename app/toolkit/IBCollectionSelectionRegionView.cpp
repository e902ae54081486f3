#include "app/toolkit/IBCollectionSelectionRegionView.h"

#include <QPainter>

namespace orv {

IBCollectionSelectionRegionView::IBCollectionSelectionRegionView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void IBCollectionSelectionRegionView::drawFrameWithRect(QRectF rect)
{
    frameRect_ = rect;
    update();
}

void IBCollectionSelectionRegionView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPen pen(strokeColor_);
    pen.setWidthF(1);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(frameRect_);
    painter.fillRect(frameRect_, fillColor_);
}

}  // namespace orv
