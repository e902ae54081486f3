#pragma once
// A drop shadow's settings and the rectangle arithmetic shadowed drawing
// needs. Offsets are y-up, as the shadows were designed; `flipped` says the
// drawing is y-down.

#include <QColor>
#include <QPointF>
#include <QRectF>

namespace orv {

struct Shadow {
    QPointF offset;
    double blurRadius = 0;
    QColor color = QColor(0, 0, 0, 85);
};

// The standard shadow behind control texts: offset 0, blur 0.5, black at 20 %.
Shadow controlTextShadow();
// What the shadow of a shape filling `rect` covers: grown by the blur, moved by the offset.
QRectF shadowedRect(const Shadow& shadow, const QRectF& rect, bool flipped);
// Where an inverted mask must be drawn for the shadow to fall inside `rect`.
QRectF rectToCastInnerShadow(const Shadow& shadow, const QRectF& rect, bool flipped);

}  // namespace orv
