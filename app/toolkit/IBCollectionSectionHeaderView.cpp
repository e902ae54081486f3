#include "app/toolkit/IBCollectionSectionHeaderView.h"

#include <QPainter>

namespace orv {

IBCollectionSectionHeaderView::IBCollectionSectionHeaderView(QWidget* parent) : QWidget(parent) {}

void IBCollectionSectionHeaderView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
}

}  // namespace orv
