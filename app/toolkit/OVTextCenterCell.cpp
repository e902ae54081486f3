#include "app/toolkit/OVTextCenterCell.h"

#include <QApplication>
#include <QPainter>
#include <cmath>

namespace orv {

QRectF OVTextCenterCell::titleRectForBounds(const QRectF& frame, qreal textHeight)
{
    const qreal y = std::trunc(std::ceil(frame.y() + (frame.height() - textHeight) / 2)) - 6;
    return QRectF(frame.x(), y, frame.width(), textHeight);
}

void OVTextCenterCell::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    paintCell(painter, opt, index);
}

void OVTextCenterCell::paintCell(QPainter* painter, QStyleOptionViewItem option, const QModelIndex& index) const
{
    const QString text = option.text;
    option.text.clear();
    option.state &= ~QStyle::State_HasFocus;
    const QWidget* view = option.widget;
    QStyle* style = view ? view->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &option, painter, view);
    const QFontMetricsF metrics(option.font);
    const QRectF box = textRect(option, index, metrics.height());
    if (box.width() <= 0 || box.height() <= 0 || text.isEmpty())
        return;
    painter->save();
    painter->setFont(option.font);
    painter->setPen(textColor(option));
    painter->drawText(box, int(option.displayAlignment & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter,
                      metrics.elidedText(text, elideMode(), box.width()));
    painter->restore();
}

QRectF OVTextCenterCell::textRect(const QStyleOptionViewItem& option, const QModelIndex&, qreal textHeight) const
{
    return titleRectForBounds(option.rect, textHeight);
}

QColor OVTextCenterCell::textColor(const QStyleOptionViewItem& option) const
{
    const bool selected = option.state & QStyle::State_Selected;
    return option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
}

}  // namespace orv
