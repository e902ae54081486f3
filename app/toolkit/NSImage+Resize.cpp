#include "app/toolkit/NSImage+Resize.h"

#include <algorithm>
#include <cmath>

namespace orv {

namespace {

struct Placement {
    QRectF source;  // picture pixels
    QRectF target;
};

Placement place(const QSizeF& picture, const QRectF& target, const QRectF& gravity, int method)
{
    const float sw = float(picture.width()), sh = float(picture.height());
    const float dw = float(target.width()), dh = float(target.height());
    const float aspect = sw / sh;
    const bool wide = dw / dh >= aspect;
    const bool crop = method != ResizeScaleToFit;
    float nw, nh;
    if (crop == wide) {
        nw = dw;
        nh = std::round(dw / aspect);
    } else {
        nw = std::round(aspect * dh);
        nh = dh;
    }
    if (!crop) {
        const QRectF fitted(target.x() + (dw - nw) / 2, target.y() + (dh - nh) / 2, nw, nh);
        return {QRectF(0, 0, sw, sh), fitted};
    }
    const float scale = nh / sh;
    float ox = 0, oy = 0;
    switch (method) {
    case ResizeCropKeepStart:
        break;
    case ResizeCropKeepEnd:
        ox = nw - dw;
        oy = nh - dh;
        break;
    default:
        ox = std::round((nw - dw) / 2);
        oy = std::round((nh - dh) / 2);
        if (gravity.width() > 0 && gravity.height() > 0) {
            if (ox > 0)
                ox = std::max(0.0f, std::min(std::round(float(gravity.center().x()) - dw / 2), sw - dw));
            else if (oy > 0)
                oy = std::max(0.0f, std::min(std::round(float(gravity.center().y()) - dh / 2), sh - dh));
        }
        break;
    }
    return {QRectF(ox / scale, oy / scale, dw / scale, dh / scale), target};
}

}  // namespace

void drawInRectWithGravityRect(QPainter& painter, const QImage& image, const QRectF& target, const QRectF& gravityRect,
                               QPainter::CompositionMode operation, float fraction, int method)
{
    if (image.isNull() || target.width() <= 0 || target.height() <= 0)
        return;
    const Placement placement = place(image.size(), target, gravityRect, method);
    painter.save();
    painter.setCompositionMode(operation);
    painter.setOpacity(painter.opacity() * fraction);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(placement.target, image, placement.source);
    painter.restore();
}

namespace {

QImage fitted(const QImage& image, const QSize& size, const QRectF& gravity, int method)
{
    if (image.isNull() || size.isEmpty())
        return {};
    const QRectF whole(QPointF(0, 0), QSizeF(size));
    const Placement placement = place(image.size(), whole, gravity, method);
    // A crop at full scale is a copy of pixels: exact, and cheap for thumbnails.
    if (method != ResizeScaleToFit && placement.source.size() == placement.target.size() &&
        placement.source.topLeft() == placement.source.topLeft().toPoint())
        return image.copy(placement.source.toRect());
    QImage result(size, QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(placement.target, image, placement.source);
    return result;
}

int shorterSide(const QImage& image) { return std::min(image.width(), image.height()); }

}  // namespace

QImage imageToFitSize(const QImage& image, const QSize& size, int method) { return fitted(image, size, {}, method); }
QImage imageCroppedToFitSize(const QImage& image, const QSize& size)
{
    return imageToFitSize(image, size, ResizeCropCentre);
}
QImage imageScaledToFitSize(const QImage& image, const QSize& size)
{
    return imageToFitSize(image, size, ResizeScaleToFit);
}
QImage squareImage(const QImage& image)
{
    return imageToFitSize(image, QSize(shorterSide(image), shorterSide(image)), ResizeCropCentre);
}
QImage squareImageWithCenterRect(const QImage& image, const QRectF& rect)
{
    return fitted(image, QSize(shorterSide(image), shorterSide(image)), rect, ResizeCropCentre);
}

}  // namespace orv
