#pragma once
// A list cell with a small icon (16 high, aspect kept) before its text. The
// icon comes from the item's decoration; alphaValue is the icon's opacity
// (1 unless set, so icons show by default).

#include <QStyledItemDelegate>

namespace orv {

class OVCenterIconTextFieldCell : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    double alphaValue() const { return alphaValue_; }
    void setAlphaValue(double alpha) { alphaValue_ = alpha; }

    // An icon's drawn size: 16 high, its aspect kept.
    static QSizeF iconSizeFor(const QSizeF& image);
    static QRectF textRect(const QRectF& frame, bool hasIcon);
    static QRectF iconRect(const QRectF& frame, const QSizeF& iconSize);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    double alphaValue_ = 1.0;
};

}  // namespace orv
