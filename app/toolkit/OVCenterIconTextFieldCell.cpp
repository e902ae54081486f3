#include "app/toolkit/OVCenterIconTextFieldCell.h"

#include <QApplication>
#include <QPainter>

namespace orv {

QSizeF OVCenterIconTextFieldCell::iconSizeFor(const QSizeF& image)
{
    if (image.height() <= 0)
        return QSizeF(0, 0);
    return QSizeF(16 * image.width() / image.height(), 16);
}

QRectF OVCenterIconTextFieldCell::textRect(const QRectF& frame, bool hasIcon)
{
    const qreal extra = hasIcon ? 22 : 0;
    return QRectF(frame.x() + 29 + extra, frame.y() + 10, frame.width() - 19 - extra, frame.height() - 14);
}

QRectF OVCenterIconTextFieldCell::iconRect(const QRectF& frame, const QSizeF& iconSize)
{
    const qreal x = frame.x() + (iconSize.width() > 16 ? 18 : 19);
    return QRectF(QPointF(x, frame.y() + (frame.height() - 16) / 2), iconSize);
}

void OVCenterIconTextFieldCell::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                      const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QPixmap icon = opt.icon.isNull() ? QPixmap() : opt.icon.pixmap(64, 64);
    const QString text = opt.text;
    painter->save();
    const bool selected = option.state & QStyle::State_Selected;
    painter->setFont(opt.font);
    painter->setPen(selected ? QColor(Qt::white) : opt.palette.color(QPalette::Text));
    const QRectF box = textRect(option.rect, !icon.isNull());
    painter->drawText(box, int(opt.displayAlignment & Qt::AlignHorizontal_Mask) | Qt::AlignTop,
                      QFontMetricsF(opt.font).elidedText(text, Qt::ElideRight, box.width()));
    if (!icon.isNull()) {
        painter->setOpacity(alphaValue_);
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawPixmap(iconRect(option.rect, iconSizeFor(icon.deviceIndependentSize())), icon, QRectF(icon.rect()));
    }
    painter->restore();
}

}  // namespace orv
