#include "app/toolkit/OVPieProgressBar.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace orv {

OVPieProgressBar::OVPieProgressBar(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void OVPieProgressBar::setMaxValue(double value)
{
    if (value == maxValue_)
        return;
    maxValue_ = value;
    update();
}

void OVPieProgressBar::setDoubleValue(double value)
{
    if (value == doubleValue_)
        return;
    doubleValue_ = std::min(value, maxValue_);
    update();
}

double OVPieProgressBar::fraction() const
{
    if (maxValue_ <= 0 || doubleValue_ <= 0)
        return 0;
    return std::clamp(doubleValue_ / maxValue_, 0.0, 1.0);
}

void OVPieProgressBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF ring = QRectF(rect()).adjusted(2, 2, -2, -2);
    painter.setPen(QPen(Qt::white, 3));
    painter.setBrush(QColor(0, 0, 0, 153));
    painter.drawEllipse(ring);
    const double p = fraction();
    if (p <= 0)
        return;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgbF(0.314f, 0.733f, 1.0f));
    if (p >= 1) {
        painter.drawEllipse(ring.adjusted(3, 3, -3, -3));
        return;
    }
    const double radius = ring.width() / 2 - 3;
    const QPointF centre = ring.center();
    QPainterPath pie(centre);
    // A negative sweep runs clockwise on screen.
    pie.arcTo(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), 90, -360 * p);
    pie.closeSubpath();
    painter.drawPath(pie);
}

}  // namespace orv
