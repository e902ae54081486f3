#include "app/toolkit/OVIconTextFieldCell.h"

#include <QPainter>
#include <cmath>

namespace orv {
namespace {

// The icon's column: 19 wide, the icon inset 2 within it.
constexpr qreal kIconColumn = 19;
constexpr qreal kIconInset = 2;

}  // namespace

QRectF OVIconTextFieldCell::titleRectForBounds(const QRectF& frame, qreal textHeight)
{
    const qreal y = std::trunc(std::ceil(frame.y() + (frame.height() - textHeight) / 2));
    return QRectF(frame.x() + kIconColumn, y, frame.width() - kIconColumn, textHeight);
}

QRectF OVIconTextFieldCell::iconRect(const QRectF& frame, const QSizeF& iconSize)
{
    const QRectF box(frame.x() + kIconInset, frame.y() + kIconInset, kIconColumn - 2 * kIconInset,
                     frame.height() - 2 * kIconInset);
    if (iconSize.isEmpty() || box.isEmpty())
        return QRectF();
    const QSizeF fitted = iconSize.scaled(box.size(), Qt::KeepAspectRatio);
    return QRectF(box.center() - QPointF(fitted.width() / 2, fitted.height() / 2), fitted);
}

QRectF OVIconTextFieldCell::textRect(const QStyleOptionViewItem& option, const QModelIndex&, qreal textHeight) const
{
    return titleRectForBounds(option.rect, textHeight);
}

void OVIconTextFieldCell::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QIcon icon = opt.icon;
    opt.icon = QIcon();
    opt.features &= ~QStyleOptionViewItem::HasDecoration;
    paintCell(painter, opt, index);
    if (icon.isNull())
        return;
    const QPixmap pixmap = icon.pixmap(64, 64);
    const QRectF target = iconRect(option.rect, pixmap.deviceIndependentSize());
    if (target.isEmpty())
        return;
    painter->save();
    painter->setOpacity(alphaValue_);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawPixmap(target, pixmap, QRectF(pixmap.rect()));
    painter->restore();
}

}  // namespace orv
