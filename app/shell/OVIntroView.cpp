#include "app/shell/OVIntroView.h"

#include <QPaintEvent>
#include <QPainter>

namespace orv {

OVIntroView::OVIntroView(QWidget* parent) : QWidget(parent) {}

void OVIntroView::paintEvent(QPaintEvent* event)
{
    QPainter(this).fillRect(event->rect(), Qt::white);
}

}  // namespace orv
