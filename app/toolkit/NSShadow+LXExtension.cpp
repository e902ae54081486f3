#include "app/toolkit/NSShadow+LXExtension.h"

namespace orv {

namespace {

QPointF offsetFor(const Shadow& shadow, bool flipped)
{
    return flipped ? QPointF(shadow.offset.x(), -shadow.offset.y()) : shadow.offset;
}

QRectF grown(const QRectF& rect, double by) { return rect.adjusted(-by, -by, by, by); }

}  // namespace

Shadow controlTextShadow() { return Shadow{QPointF(0, 0), 0.5, QColor::fromRgbF(0, 0, 0, 0.2f)}; }

QRectF shadowedRect(const Shadow& shadow, const QRectF& rect, bool flipped)
{
    return grown(rect, shadow.blurRadius).translated(offsetFor(shadow, flipped));
}

QRectF rectToCastInnerShadow(const Shadow& shadow, const QRectF& rect, bool flipped)
{
    return grown(rect, shadow.blurRadius).translated(-offsetFor(shadow, flipped));
}

}  // namespace orv
