#pragma once
// A list cell whose text is centred vertically, inset 15 on both sides, cut
// at the tail and white while selected. In the first column of a view that
// offers a `disclosureXOffset` property (the outline views) the text moves
// right by that offset.

#include "app/toolkit/OVTextCenterCell.h"

namespace orv {

class OVVCenterTextFieldCell : public OVTextCenterCell {
    Q_OBJECT
public:
    using OVTextCenterCell::OVTextCenterCell;
    // Where the text goes in `frame` for a text of `textHeight`, before the indent.
    static QRectF titleRectForBounds(const QRectF& frame, qreal textHeight);
    // The first column's indent of `view` (0 for any other column or view).
    static qreal disclosureOffset(const QWidget* view, int column);

protected:
    QRectF textRect(const QStyleOptionViewItem& option, const QModelIndex& index, qreal textHeight) const override;
    QColor textColor(const QStyleOptionViewItem& option) const override;
    Qt::TextElideMode elideMode() const override { return Qt::ElideRight; }
};

}  // namespace orv
