#pragma once
// A list cell with a small icon at its left edge and its text beside it, both
// centred vertically. The icon comes from the item's decoration and keeps its
// aspect within a 15-wide column; alphaValue is the icon's opacity (1 unless
// set, so icons show by default).

#include "app/toolkit/OVTextCenterCell.h"

namespace orv {

class OVIconTextFieldCell : public OVTextCenterCell {
    Q_OBJECT
public:
    using OVTextCenterCell::OVTextCenterCell;
    double alphaValue() const { return alphaValue_; }
    void setAlphaValue(double alpha) { alphaValue_ = alpha; }

    // Where the text goes in `frame`: past the icon's column, centred for a text of `textHeight`.
    static QRectF titleRectForBounds(const QRectF& frame, qreal textHeight);
    // Where an icon of `iconSize` is drawn in `frame`: fitted into the column
    // left of the text, its aspect kept, centred.
    static QRectF iconRect(const QRectF& frame, const QSizeF& iconSize);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    QRectF textRect(const QStyleOptionViewItem& option, const QModelIndex& index, qreal textHeight) const override;

private:
    double alphaValue_ = 1.0;
};

}  // namespace orv
