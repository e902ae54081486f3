#include "app/toolkit/OVVCenterTextFieldCell.h"

#include <QVariant>
#include <QWidget>

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

QRectF OVVCenterTextFieldCell::textRect(const QStyleOptionViewItem& option, const QModelIndex& index,
                                        qreal textHeight) const
{
    // One up, as the text sits a little low in a centred line box.
    return titleRectForBounds(option.rect, textHeight).translated(disclosureOffset(option.widget, index.column()), -1);
}

QColor OVVCenterTextFieldCell::textColor(const QStyleOptionViewItem& option) const
{
    return (option.state & QStyle::State_Selected) ? QColor(Qt::white) : option.palette.color(QPalette::Text);
}

}  // namespace orv
