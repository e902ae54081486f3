#pragma once
// A list cell whose text is centred vertically (set 6 above the rounded-up
// centre, as high as the text), in the palette's text colour, the highlighted
// text colour while selected. The base of the application's other text cells,
// which place, colour and cut the text their own way. No cell draws a focus frame.

#include <QStyledItemDelegate>

namespace orv {

class OVTextCenterCell : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    // Where the text goes in `frame` for a text of `textHeight`.
    static QRectF titleRectForBounds(const QRectF& frame, qreal textHeight);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    // The cell of `option` (set up for its index) with its text, background
    // and the style's decoration, if the option still carries one.
    void paintCell(QPainter* painter, QStyleOptionViewItem option, const QModelIndex& index) const;
    // Where `option`'s text goes, for a text of `textHeight`.
    virtual QRectF textRect(const QStyleOptionViewItem& option, const QModelIndex& index, qreal textHeight) const;
    virtual QColor textColor(const QStyleOptionViewItem& option) const;
    // How a text too wide for its rect is cut; none clips it.
    virtual Qt::TextElideMode elideMode() const { return Qt::ElideNone; }
};

}  // namespace orv
