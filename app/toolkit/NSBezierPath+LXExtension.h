#pragma once
// Rectangles with some or all corners rounded, and a stroke that keeps the
// whole line inside its outline. Corners are named as they appear on screen.
// The radius is cut to half the shorter side; a radius of 0 or less gives the
// plain rectangle; an empty rectangle gives no path (or appends nothing).

#include <QPainterPath>
#include <QRectF>
#include <optional>

class QPainter;

namespace orv {

std::optional<QPainterPath> bezierPathWithRoundedRect(const QRectF& rect, float radius);
std::optional<QPainterPath> bezierPathWithTopRoundedRect(const QRectF& rect, float radius);
std::optional<QPainterPath> bezierPathWithBottomRoundedRect(const QRectF& rect, float radius);
std::optional<QPainterPath> bezierPathWithLeftRoundedRect(const QRectF& rect, float radius);
std::optional<QPainterPath> bezierPathWithRightRoundedRect(const QRectF& rect, float radius);
std::optional<QPainterPath> bezierPathWithRightBottomRoundedRect(const QRectF& rect, float radius);
std::optional<QPainterPath> bezierPathWithLeftBottomAndRightTopRoundedRect(const QRectF& rect, float radius);

void appendBezierPathWithRoundedRect(QPainterPath& path, const QRectF& rect, float radius);
void appendBezierPathWithTopRoundedRect(QPainterPath& path, const QRectF& rect, float radius);
void appendBezierPathWithBottomRoundedRect(QPainterPath& path, const QRectF& rect, float radius);
void appendBezierPathWithLeftRoundedRect(QPainterPath& path, const QRectF& rect, float radius);
void appendBezierPathWithRightRoundedRect(QPainterPath& path, const QRectF& rect, float radius);
void appendBezierPathWithRightBottomRoundedRect(QPainterPath& path, const QRectF& rect, float radius);
void appendBezierPathWithLeftBottomAndRightTopRoundedRect(QPainterPath& path, const QRectF& rect, float radius);

// Strokes `path` with the painter's pen so that a line of the pen's width lies
// wholly inside the path (and inside `within` when that is not empty). The
// painter's state is as before afterwards.
void strokeInside(QPainter& painter, const QPainterPath& path, const QRectF& within = QRectF());

}  // namespace orv
