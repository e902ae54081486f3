#include "app/toolkit/OVPlainViews.h"

#include <QPaintEvent>
#include <QPainter>

#include "app/toolkit/NSColor+LXExtension.h"

namespace orv {

void OVWhiteView::paintEvent(QPaintEvent* event) { QPainter(this).fillRect(event->rect(), Qt::white); }

void OVRightBaseView::paintEvent(QPaintEvent* event) { QPainter(this).fillRect(event->rect(), Qt::white); }

QColor OVLineView::lineColor() { return darkenBy(colorWithHex("e0dcdc"), 0.1); }

void OVLineView::paintEvent(QPaintEvent* event) { QPainter(this).fillRect(event->rect(), lineColor()); }

}  // namespace orv
