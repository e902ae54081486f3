#pragma once
// Fitting a picture into a size: cropped to fill it (centred, keeping the
// start, keeping the end, or centred on a region of interest) or scaled to fit
// inside it. Works on QImage so it may run off the GUI thread.

#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QSize>

namespace orv {

enum ResizeMethod {
    ResizeCropCentre = 0,
    ResizeCropKeepStart = 1,  // keeps the top of a tall picture, the left of a wide one
    ResizeCropKeepEnd = 2,    // keeps the bottom of a tall picture, the right of a wide one
    ResizeScaleToFit = 3,
};

// Draws the picture into `target` by `method`. A centred crop with a
// non-empty `gravityRect` (picture pixels, top-left origin) moves the crop
// window towards that region on the axis that has an excess, kept inside the picture.
void drawInRectWithGravityRect(QPainter& painter, const QImage& image, const QRectF& target, const QRectF& gravityRect,
                               QPainter::CompositionMode operation, float fraction, int method);
QImage imageToFitSize(const QImage& image, const QSize& size, int method);
QImage imageCroppedToFitSize(const QImage& image, const QSize& size);
QImage imageScaledToFitSize(const QImage& image, const QSize& size);
// A square of the shorter side, the middle of the picture.
QImage squareImage(const QImage& image);
// A square of the shorter side centred on `rect` (top-left pixel
// coordinates) as far as the picture allows; an empty rect acts as squareImage.
QImage squareImageWithCenterRect(const QImage& image, const QRectF& rect);

}  // namespace orv
