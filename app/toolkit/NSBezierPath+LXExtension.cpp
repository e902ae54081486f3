#include "app/toolkit/NSBezierPath+LXExtension.h"

#include <QPainter>
#include <algorithm>

namespace orv {

namespace {

enum Corner { TopLeft = 1, TopRight = 2, BottomRight = 4, BottomLeft = 8, All = 15 };

void appendRounded(QPainterPath& path, const QRectF& rect, float radius, int corners)
{
    if (rect.width() <= 0 || rect.height() <= 0)
        return;
    if (radius <= 0) {
        path.addRect(rect);
        return;
    }
    const float r = std::min(radius, float(std::min(rect.width(), rect.height()) / 2));
    auto at = [&](Corner c) { return (corners & c) ? qreal(r) : 0.0; };
    const qreal x = rect.left(), y = rect.top(), maxX = rect.right(), maxY = rect.bottom();
    // Clockwise on screen from the top edge; each rounded corner is a quarter
    // circle tangent to both of its edges.
    path.moveTo(x + at(TopLeft), y);
    path.lineTo(maxX - at(TopRight), y);
    if (const qreal d = 2 * at(TopRight))
        path.arcTo(QRectF(maxX - d, y, d, d), 90, -90);
    path.lineTo(maxX, maxY - at(BottomRight));
    if (const qreal d = 2 * at(BottomRight))
        path.arcTo(QRectF(maxX - d, maxY - d, d, d), 0, -90);
    path.lineTo(x + at(BottomLeft), maxY);
    if (const qreal d = 2 * at(BottomLeft))
        path.arcTo(QRectF(x, maxY - d, d, d), 270, -90);
    path.lineTo(x, y + at(TopLeft));
    if (const qreal d = 2 * at(TopLeft))
        path.arcTo(QRectF(x, y, d, d), 180, -90);
    path.closeSubpath();
}

std::optional<QPainterPath> newRounded(const QRectF& rect, float radius, int corners)
{
    if (rect.width() <= 0 || rect.height() <= 0)
        return std::nullopt;
    QPainterPath path;
    appendRounded(path, rect, radius, corners);
    return path;
}

}  // namespace

std::optional<QPainterPath> bezierPathWithRoundedRect(const QRectF& rect, float radius)
{
    return newRounded(rect, radius, All);
}
std::optional<QPainterPath> bezierPathWithTopRoundedRect(const QRectF& rect, float radius)
{
    return newRounded(rect, radius, TopLeft | TopRight);
}
std::optional<QPainterPath> bezierPathWithBottomRoundedRect(const QRectF& rect, float radius)
{
    return newRounded(rect, radius, BottomLeft | BottomRight);
}
std::optional<QPainterPath> bezierPathWithLeftRoundedRect(const QRectF& rect, float radius)
{
    return newRounded(rect, radius, TopLeft | BottomLeft);
}
std::optional<QPainterPath> bezierPathWithRightRoundedRect(const QRectF& rect, float radius)
{
    return newRounded(rect, radius, TopRight | BottomRight);
}
std::optional<QPainterPath> bezierPathWithRightBottomRoundedRect(const QRectF& rect, float radius)
{
    return newRounded(rect, radius, BottomRight);
}
std::optional<QPainterPath> bezierPathWithLeftBottomAndRightTopRoundedRect(const QRectF& rect, float radius)
{
    return newRounded(rect, radius, BottomLeft | TopRight);
}

void appendBezierPathWithRoundedRect(QPainterPath& path, const QRectF& rect, float radius)
{
    appendRounded(path, rect, radius, All);
}
void appendBezierPathWithTopRoundedRect(QPainterPath& path, const QRectF& rect, float radius)
{
    appendRounded(path, rect, radius, TopLeft | TopRight);
}
void appendBezierPathWithBottomRoundedRect(QPainterPath& path, const QRectF& rect, float radius)
{
    appendRounded(path, rect, radius, BottomLeft | BottomRight);
}
void appendBezierPathWithLeftRoundedRect(QPainterPath& path, const QRectF& rect, float radius)
{
    appendRounded(path, rect, radius, TopLeft | BottomLeft);
}
void appendBezierPathWithRightRoundedRect(QPainterPath& path, const QRectF& rect, float radius)
{
    appendRounded(path, rect, radius, TopRight | BottomRight);
}
void appendBezierPathWithRightBottomRoundedRect(QPainterPath& path, const QRectF& rect, float radius)
{
    appendRounded(path, rect, radius, BottomRight);
}
void appendBezierPathWithLeftBottomAndRightTopRoundedRect(QPainterPath& path, const QRectF& rect, float radius)
{
    appendRounded(path, rect, radius, BottomLeft | TopRight);
}

void strokeInside(QPainter& painter, const QPainterPath& path, const QRectF& within)
{
    painter.save();
    QPen pen = painter.pen();
    // Twice the width, clipped to the path: only the inner half shows.
    pen.setWidthF(2 * float(pen.widthF()));
    painter.setPen(pen);
    painter.setClipPath(path, Qt::IntersectClip);
    if (within.width() > 0 && within.height() > 0)
        painter.setClipRect(within, Qt::IntersectClip);
    painter.drawPath(path);
    painter.restore();
}

}  // namespace orv
