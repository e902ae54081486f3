#pragma once
// Drawing a picture as a stencil: its alpha is a shape that is filled with a
// gradient and given a drop shadow outside and an inner shadow inside. The
// picture's own colours are never drawn.

#include <QGradientStops>
#include <QImage>
#include <QRectF>

#include "app/toolkit/NSShadow+LXExtension.h"

class QPainter;

namespace orv {

// `stops` run from the top of `rect` to its bottom. Shadow offsets are y-up
// (a negative y falls below the shape). Null arguments skip their step; with
// all three null nothing is drawn.
void drawInRectWithGradient(QPainter& painter, const QImage& image, const QRectF& rect, const QGradientStops* stops,
                            const Shadow* dropShadow, const Shadow* innerShadow);

// Blurs a premultiplied image in place: three box passes of `radius`.
void boxBlur(QImage& image, int radius);

}  // namespace orv
