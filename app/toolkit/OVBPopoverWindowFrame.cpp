#include "app/toolkit/OVBPopoverWindowFrame.h"

#include <QMouseEvent>
#include <QPainter>

namespace orv {

OVBPopoverWindowFrame::ArrowSide OVBPopoverWindowFrame::arrowSide(unsigned position)
{
    switch (position) {
    case OVBPopoverLeft:
    case OVBPopoverLeftExtendingUp:
    case OVBPopoverLeftExtendingDown:
        return ArrowSide::Right;
    case OVBPopoverBelow:
    case OVBPopoverBelowExtendingLeft:
    case OVBPopoverBelowExtendingRight:
        return ArrowSide::Top;
    case OVBPopoverRight:
    case OVBPopoverRightExtendingUp:
    case OVBPopoverRightExtendingDown:
        return ArrowSide::Left;
    case OVBPopoverAbove:
    case OVBPopoverAboveExtendingLeft:
    case OVBPopoverAboveExtendingRight:
        return ArrowSide::Bottom;
    default:
        return ArrowSide::None;
    }
}

OVBPopoverWindowFrame::OVBPopoverWindowFrame(QWidget* parent) : QWidget(parent) {}

double OVBPopoverWindowFrame::arrowRoom() const
{
    return arrowSide(position_) == ArrowSide::None ? 0 : arrowHeight_ + distance_;
}

QRectF OVBPopoverWindowFrame::contentRectForFrameRect(const QRectF& frame) const
{
    const double b = borderWidth_;
    QRectF r = frame.adjusted(b, b, -b, -b);
    const double s = arrowRoom();
    switch (arrowSide(position_)) {
    case ArrowSide::Right: r.adjust(0, 0, -s, 0); break;
    case ArrowSide::Top: r.adjust(0, s, 0, 0); break;
    case ArrowSide::Left: r.adjust(s, 0, 0, 0); break;
    case ArrowSide::Bottom: r.adjust(0, 0, 0, -s); break;
    case ArrowSide::None: break;
    }
    const double m = viewMargin_;
    return r.adjusted(m, m, -m, -m);
}

QRectF OVBPopoverWindowFrame::frameRectForContentRect(const QRectF& content) const
{
    const double m = viewMargin_;
    QRectF r = content.adjusted(-m, -m, m, m);
    const double s = arrowRoom();
    switch (arrowSide(position_)) {
    case ArrowSide::Right: r.adjust(0, 0, s, 0); break;
    case ArrowSide::Top: r.adjust(0, -s, 0, 0); break;
    case ArrowSide::Left: r.adjust(-s, 0, 0, 0); break;
    case ArrowSide::Bottom: r.adjust(0, 0, 0, s); break;
    case ArrowSide::None: break;
    }
    const double b = borderWidth_;
    return r.adjusted(-b, -b, b, b);
}

double OVBPopoverWindowFrame::arrowCornerOffset() const
{
    // Where the outline puts the tip: the stroke's centre line is half a
    // border in, then the corner beside the arrow, then half the arrow's base.
    const double corner = roundBesideArrow_ && cornerRadius_ > 0 ? cornerRadius_ : 0;
    return borderWidth_ / 2 + corner + arrowWidth_ / 2;
}

QPointF OVBPopoverWindowFrame::attachmentPointForRect(const QRectF& r) const
{
    const double o = arrowCornerOffset();
    const QPointF c = r.center();
    switch (position_) {
    case OVBPopoverLeft: return {r.right(), c.y()};
    case OVBPopoverBelow: return {c.x(), r.top()};
    case OVBPopoverRight: return {r.left(), c.y()};
    case OVBPopoverAbove: return {c.x(), r.bottom()};
    case OVBPopoverLeftExtendingUp: return {r.right(), r.bottom() - o};
    case OVBPopoverLeftExtendingDown: return {r.right(), r.top() + o};
    case OVBPopoverRightExtendingUp: return {r.left(), r.bottom() - o};
    case OVBPopoverRightExtendingDown: return {r.left(), r.top() + o};
    case OVBPopoverAboveExtendingLeft: return {r.right() - o, r.bottom()};
    case OVBPopoverAboveExtendingRight: return {r.left() + o, r.bottom()};
    case OVBPopoverBelowExtendingLeft: return {r.right() - o, r.top()};
    case OVBPopoverBelowExtendingRight: return {r.left() + o, r.top()};
    default: return {0, 0};
    }
}

void OVBPopoverWindowFrame::appendArrow(QPainterPath& path) const
{
    if (!drawsArrow_)
        return;
    const QPointF p = path.currentPosition();
    const double w = arrowWidth_;
    const double h = arrowHeight_;
    switch (arrowSide(position_)) {
    case ArrowSide::Right:  // going down the right edge
        path.lineTo(p.x() + h, p.y() + w / 2);
        path.lineTo(p.x(), p.y() + w);
        break;
    case ArrowSide::Top:  // going right along the top
        path.lineTo(p.x() + w / 2, p.y() - h);
        path.lineTo(p.x() + w, p.y());
        break;
    case ArrowSide::Left:  // going up the left edge
        path.lineTo(p.x() - h, p.y() - w / 2);
        path.lineTo(p.x(), p.y() - w);
        break;
    case ArrowSide::Bottom:  // going left along the bottom
        path.lineTo(p.x() - w / 2, p.y() + h);
        path.lineTo(p.x() - w, p.y());
        break;
    case ArrowSide::None:
        break;
    }
}

QPainterPath OVBPopoverWindowFrame::popoverFramePathForContentRect(const QRectF& content) const
{
    // The stroke is centred on the path, so the path runs half a border in.
    const double grow = viewMargin_ + borderWidth_ / 2;
    const QRectF r = content.adjusted(-grow, -grow, grow, grow);
    const double radius = cornerRadius_ > 0 ? cornerRadius_ : 0;
    const unsigned p = position_;
    auto corner = [&](unsigned a, unsigned b) { return !roundBesideArrow_ && (p == a || p == b) ? 0.0 : radius; };
    const double tl = corner(OVBPopoverRightExtendingDown, OVBPopoverBelowExtendingRight);
    const double tr = corner(OVBPopoverLeftExtendingDown, OVBPopoverBelowExtendingLeft);
    const double br = corner(OVBPopoverLeftExtendingUp, OVBPopoverAboveExtendingLeft);
    const double bl = corner(OVBPopoverRightExtendingUp, OVBPopoverAboveExtendingRight);
    const double aw = arrowWidth_;
    const double L = r.left(), T = r.top(), R = r.right(), B = r.bottom();
    const QPointF mid = r.center();

    QPainterPath path;
    path.moveTo(L + tl, T);
    // Top edge, left to right.
    if (p == OVBPopoverBelowExtendingRight) {
        appendArrow(path);
    } else if (p == OVBPopoverBelow) {
        path.lineTo(mid.x() - aw / 2, T);
        appendArrow(path);
    } else if (p == OVBPopoverBelowExtendingLeft) {
        path.lineTo(R - tr - aw, T);
        appendArrow(path);
    }
    path.lineTo(R - tr, T);
    if (tr > 0)
        path.arcTo(QRectF(R - 2 * tr, T, 2 * tr, 2 * tr), 90, -90);
    // Right edge, downwards.
    if (p == OVBPopoverLeftExtendingDown) {
        appendArrow(path);
    } else if (p == OVBPopoverLeft) {
        path.lineTo(R, mid.y() - aw / 2);
        appendArrow(path);
    } else if (p == OVBPopoverLeftExtendingUp) {
        path.lineTo(R, B - br - aw);
        appendArrow(path);
    }
    path.lineTo(R, B - br);
    if (br > 0)
        path.arcTo(QRectF(R - 2 * br, B - 2 * br, 2 * br, 2 * br), 0, -90);
    // Bottom edge, right to left.
    if (p == OVBPopoverAboveExtendingLeft) {
        appendArrow(path);
    } else if (p == OVBPopoverAbove) {
        path.lineTo(mid.x() + aw / 2, B);
        appendArrow(path);
    } else if (p == OVBPopoverAboveExtendingRight) {
        path.lineTo(L + bl + aw, B);
        appendArrow(path);
    }
    path.lineTo(L + bl, B);
    if (bl > 0)
        path.arcTo(QRectF(L, B - 2 * bl, 2 * bl, 2 * bl), 270, -90);
    // Left edge, upwards.
    if (p == OVBPopoverRightExtendingUp) {
        appendArrow(path);
    } else if (p == OVBPopoverRight) {
        path.lineTo(L, mid.y() + aw / 2);
        appendArrow(path);
    } else if (p == OVBPopoverRightExtendingDown) {
        path.lineTo(L, T + tl + aw);
        appendArrow(path);
    }
    path.lineTo(L, T + tl);
    if (tl > 0)
        path.arcTo(QRectF(L, T, 2 * tl, 2 * tl), 180, -90);
    path.closeSubpath();
    return path;
}

QRectF OVBPopoverWindowFrame::resizedFrame(const QRectF& start, QPointF delta, const QSizeF& minContent,
                                           const QSizeF& maxContent) const
{
    QRectF frame(start.topLeft(), QSizeF(start.width() + delta.x(), start.height() + delta.y()));
    const QRectF content = contentRectForFrameRect(frame);
    if (content.width() > maxContent.width())
        frame.setWidth(frame.width() - (content.width() - maxContent.width()));
    else if (content.width() < minContent.width())
        frame.setWidth(frame.width() + (minContent.width() - content.width()));
    if (content.height() > maxContent.height())
        frame.setHeight(frame.height() - (content.height() - maxContent.height()));
    else if (content.height() < minContent.height())
        frame.setHeight(frame.height() + (minContent.height() - content.height()));
    return frame;
}

void OVBPopoverWindowFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (borderWidth_ > 0)
        painter.setPen(QPen(borderColor_, borderWidth_, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    else
        painter.setPen(Qt::NoPen);
    painter.setBrush(backgroundColor_);
    painter.drawPath(popoverFramePathForContentRect(contentRectForFrameRect(QRectF(rect()))));
}

void OVBPopoverWindowFrame::mousePressEvent(QMouseEvent* event)
{
    drag_ = Drag::None;
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const QRectF content = contentRectForFrameRect(QRectF(rect()));
    const QPointF at = event->position();
    // The band of border, margin and arrow resizes; anywhere else moves.
    const bool band = popoverFramePathForContentRect(content).contains(at) && !content.contains(at);
    if (band && resizable_)
        drag_ = Drag::Resize;
    else if (!band && movable_)
        drag_ = Drag::Move;
    if (drag_ == Drag::None) {
        event->ignore();
        return;
    }
    dragStart_ = event->globalPosition();
    startFrame_ = window()->geometry();
}

void OVBPopoverWindowFrame::mouseMoveEvent(QMouseEvent* event)
{
    if (drag_ == Drag::None || !(event->buttons() & Qt::LeftButton)) {
        event->ignore();
        return;
    }
    const QPointF delta = event->globalPosition() - dragStart_;
    if (drag_ == Drag::Move) {
        window()->move(startFrame_.topLeft() + delta.toPoint());
        return;
    }
    const QRectF frame = resizedFrame(QRectF(startFrame_), delta, minContent_, maxContent_);
    window()->setGeometry(frame.toRect());
}

void OVBPopoverWindowFrame::mouseReleaseEvent(QMouseEvent* event)
{
    if (drag_ == Drag::None)
        event->ignore();
    drag_ = Drag::None;
}

}  // namespace orv
