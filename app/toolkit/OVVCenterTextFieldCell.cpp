#include "app/toolkit/OVVCenterTextFieldCell.h"

#include <QApplication>
#include <QPainter>
#include <QVariant>

namespace orv {

QRectF OVVCenterTextFieldCell::titleRectForBounds(const QRectF& frame, qreal textHeight)
{
    return QRectF(frame.x() + 15, frame.y() + (frame.height() - textHeight) / 2, frame.width() - 30, textHeight);
}

qreal OVVCenterTextFieldCell::disclosureOffset(const QWidget* view, int column)
{
    if (!view || column != 0)
        return 0;
    const QVariant offset = view->property("disclosureXOffset");
    return offset.isValid() ? offset.toReal() : 0;
}

void OVVCenterTextFieldCell::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    const QWidget* view = option.widget;
    QStyle* style = view ? view->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, view);
    const QFontMetricsF metrics(opt.font);
    QRectF box = titleRectForBounds(option.rect, metrics.height());
    box.translate(disclosureOffset(view, index.column()), -1);
    if (box.width() <= 0 || box.height() <= 0)
        return;
    painter->save();
    painter->setFont(opt.font);
    const bool selected = option.state & QStyle::State_Selected;
    painter->setPen(selected ? QColor(Qt::white) : opt.palette.color(QPalette::Text));
    painter->drawText(box, int(opt.displayAlignment & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter,
                      metrics.elidedText(text, Qt::ElideRight, box.width()));
    painter->restore();
}

}  // namespace orv
