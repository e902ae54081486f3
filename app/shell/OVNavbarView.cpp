#include "app/shell/OVNavbarView.h"

#include <QPainter>

#include "app/shell/ShellLook.h"

namespace orv {

using shell_look::flipped;

namespace {
QColor white(int level) { return QColor(level, level, level); }
}  // namespace

OVNavbarView::OVNavbarView(QWidget* parent) : QWidget(parent) {}

void OVNavbarView::setHasPathView(bool has)
{
    if (has == hasPathView_)
        return;
    hasPathView_ = has;
    update();
}

QRectF OVNavbarView::pathviewRect() const { return flipped(QRectF(0, 6, width(), 29), height()); }

void OVNavbarView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const qreal w = width(), h = height();
    // The bottom 6 points stay unpainted.
    p.fillRect(flipped(QRectF(0, 6, w, h), h), white(250));
    if (hasPathView_) {
        p.fillRect(pathviewRect(), white(252));
        p.fillRect(flipped(QRectF(0, 35, w, 1), h), white(229));
    }
    p.fillRect(flipped(QRectF(0, 5, w, 1), h), white(229));
}

}  // namespace orv
