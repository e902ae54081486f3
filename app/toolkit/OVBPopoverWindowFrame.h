#pragma once
// The outline of an arrowed popover: a rounded, bordered shape with an arrow
// on one side, drawn around the popover's content. It owns the popover's
// appearance values, converts between the window's rect and the content's,
// and knows the point on the window's edge the arrow tip points at. Screen
// geometry is y-down, as everywhere in Qt; "above" and "below" are as seen.

#include <QColor>
#include <QPainterPath>
#include <QRectF>
#include <QWidget>

namespace orv {

// Where the popover lies relative to the point it points at, and where its
// arrow sits. Values above 11 are stored as they are and mean no arrow.
enum OVBPopoverPosition : unsigned {
    OVBPopoverLeft = 0,                // arrow centred on its right edge
    OVBPopoverBelow = 1,               // arrow centred on its top edge
    OVBPopoverRight = 2,               // arrow centred on its left edge
    OVBPopoverAbove = 3,               // arrow centred on its bottom edge
    OVBPopoverLeftExtendingUp = 4,     // arrow on the right edge by the bottom corner
    OVBPopoverLeftExtendingDown = 5,   // arrow on the right edge by the top corner
    OVBPopoverRightExtendingUp = 6,    // arrow on the left edge by the bottom corner
    OVBPopoverRightExtendingDown = 7,  // arrow on the left edge by the top corner
    OVBPopoverAboveExtendingLeft = 8,  // arrow on the bottom edge by the right corner
    OVBPopoverAboveExtendingRight = 9, // arrow on the bottom edge by the left corner
    OVBPopoverBelowExtendingLeft = 10, // arrow on the top edge by the right corner
    OVBPopoverBelowExtendingRight = 11,// arrow on the top edge by the left corner
};

class OVBPopoverWindowFrame : public QWidget {
    Q_OBJECT
public:
    enum class ArrowSide { None, Right, Top, Left, Bottom };
    static ArrowSide arrowSide(unsigned position);

    explicit OVBPopoverWindowFrame(QWidget* parent = nullptr);

    // Plain stores; resizing the window around a change is the window's business.
    unsigned popoverPosition() const { return position_; }
    void setPopoverPosition(unsigned position) { position_ = position; }
    double distance() const { return distance_; }  // gap between arrow tip and point
    void setDistance(double distance) { distance_ = distance; }
    QColor borderColor() const { return borderColor_; }
    void setBorderColor(const QColor& color) { borderColor_ = color; }
    double borderWidth() const { return borderWidth_; }
    void setBorderWidth(double width) { borderWidth_ = width; }
    double cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(double radius) { cornerRadius_ = radius; }
    bool drawsArrow() const { return drawsArrow_; }
    void setDrawsArrow(bool draws) { drawsArrow_ = draws; }
    double arrowWidth() const { return arrowWidth_; }  // the arrow's base
    void setArrowWidth(double width) { arrowWidth_ = width; }
    double arrowHeight() const { return arrowHeight_; }  // base to tip
    void setArrowHeight(double height) { arrowHeight_ = height; }
    bool drawRoundCornerBesideArrow() const { return roundBesideArrow_; }
    void setDrawRoundCornerBesideArrow(bool round) { roundBesideArrow_ = round; }
    double viewMargin() const { return viewMargin_; }  // outline to content
    void setViewMargin(double margin) { viewMargin_ = margin; }
    QColor backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const QColor& color) { backgroundColor_ = color; }
    bool isMovable() const { return movable_; }
    void setMovable(bool movable) { movable_ = movable; }
    bool isResizable() const { return resizable_; }
    void setResizable(bool resizable) { resizable_ = resizable; }
    // The content sizes a resize by the user keeps to.
    QSizeF contentMinimumSize() const { return minContent_; }
    void setContentMinimumSize(const QSizeF& size) { minContent_ = size; }
    QSizeF contentMaximumSize() const { return maxContent_; }
    void setContentMaximumSize(const QSizeF& size) { maxContent_ = size; }

    // The room the arrow side takes: arrow height plus distance (0 without an arrow side).
    double arrowRoom() const;
    // Inverse of each other, for every position.
    QRectF contentRectForFrameRect(const QRectF& frame) const;
    QRectF frameRectForContentRect(const QRectF& content) const;
    // How far from the corner along its edge an arrow beside a corner has its tip.
    double arrowCornerOffset() const;
    // The point on `rect`'s edge the arrow tip points at; (0, 0) for a
    // position above 11. It lies on the tip's line, so the arrow points at it.
    QPointF attachmentPointForRect(const QRectF& rect) const;
    QPointF attachmentPoint() const { return attachmentPointForRect(QRectF(rect())); }
    // The outline, with the arrow, of a popover whose content lies in `content`.
    QPainterPath popoverFramePathForContentRect(const QRectF& content) const;
    // A resize dragged by (dx, dy) from `start` (the top edge stays, the
    // bottom-right corner follows), kept to content sizes within min..max.
    QRectF resizedFrame(const QRectF& start, QPointF delta, const QSizeF& minContent,
                        const QSizeF& maxContent) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void appendArrow(QPainterPath& path) const;

    unsigned position_ = OVBPopoverBelow;
    double distance_ = 0;
    QColor borderColor_ = Qt::white;
    double borderWidth_ = 2;
    double cornerRadius_ = 8;
    bool drawsArrow_ = true;
    double arrowWidth_ = 20;
    double arrowHeight_ = 16;
    bool roundBesideArrow_ = true;
    double viewMargin_ = 2;
    QColor backgroundColor_ = QColor::fromRgbF(0.1f, 0.1f, 0.1f, 0.75f);
    bool movable_ = false;
    bool resizable_ = false;
    QSizeF minContent_{0, 0};
    QSizeF maxContent_{QWIDGETSIZE_MAX, QWIDGETSIZE_MAX};

    enum class Drag { None, Move, Resize };
    Drag drag_ = Drag::None;
    QPointF dragStart_;
    QRect startFrame_;
};

}  // namespace orv
