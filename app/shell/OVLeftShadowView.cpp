#include "app/shell/OVLeftShadowView.h"

#include <QEvent>
#include <QPainter>

namespace orv {

OVLeftShadowView::OVLeftShadowView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void OVLeftShadowView::paintEvent(QPaintEvent*)
{
    if (!window() || !isActiveWindow())
        return;
    // The blurred edge of a black rectangle just right of the view: a soft
    // darkening of the last few points.
    QPainter p(this);
    constexpr qreal reach = 6;
    QLinearGradient shade(width() - reach, 0, width(), 0);
    shade.setColorAt(0, QColor(0, 0, 0, 0));
    shade.setColorAt(1, QColor(0, 0, 0, 14));
    p.fillRect(QRectF(width() - reach, 0, reach, height()), shade);
}

void OVLeftShadowView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange)
        update();
}

}  // namespace orv
