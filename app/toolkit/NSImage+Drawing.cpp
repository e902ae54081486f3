#include "app/toolkit/NSImage+Drawing.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPaintDevice>
#include <algorithm>
#include <cmath>
#include <vector>

namespace orv {

namespace {

// One horizontal box pass over every channel, edges extended.
void boxPass(QImage& image, int radius, bool vertical)
{
    const int w = image.width(), h = image.height();
    const int lines = vertical ? w : h, length = vertical ? h : w;
    std::vector<QRgb> line(static_cast<size_t>(length));
    auto pixel = [&](int along, int across) -> QRgb& {
        QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(vertical ? along : across));
        return row[vertical ? across : along];
    };
    const int span = 2 * radius + 1;
    for (int across = 0; across < lines; ++across) {
        for (int i = 0; i < length; ++i)
            line[size_t(i)] = pixel(i, across);
        int sum[4] = {0, 0, 0, 0};
        auto add = [&](int i, int sign) {
            const QRgb p = line[size_t(std::clamp(i, 0, length - 1))];
            sum[0] += sign * qAlpha(p);
            sum[1] += sign * qRed(p);
            sum[2] += sign * qGreen(p);
            sum[3] += sign * qBlue(p);
        };
        for (int i = -radius; i <= radius; ++i)
            add(i, 1);
        for (int i = 0; i < length; ++i) {
            pixel(i, across) = qRgba(sum[1] / span, sum[2] / span, sum[3] / span, sum[0] / span);
            add(i + radius + 1, 1);
            add(i - radius, -1);
        }
    }
}

// The picture's alpha drawn into `bounds`, each pixel in `color`.
QImage tinted(const QImage& mask, const QColor& color)
{
    QImage result = mask;
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(result.rect(), color);
    return result;
}

QImage shadowLayer(const QImage& mask, const QImage& keep, const Shadow& shadow, qreal scale)
{
    QImage layer(mask.size(), QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    QImage cast = tinted(mask, shadow.color);
    boxBlur(cast, int(std::lround(shadow.blurRadius * scale / 2)));
    QPainter painter(&layer);
    // y-up offsets: a negative y moves the shadow down the screen.
    painter.drawImage(QPointF(shadow.offset.x() * scale, -shadow.offset.y() * scale), cast);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    painter.drawImage(0, 0, keep);
    return layer;
}

}  // namespace

void boxBlur(QImage& image, int radius)
{
    if (radius <= 0 || image.isNull())
        return;
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int pass = 0; pass < 3; ++pass) {
        boxPass(image, radius, false);
        boxPass(image, radius, true);
    }
}

void drawInRectWithGradient(QPainter& painter, const QImage& image, const QRectF& rect, const QGradientStops* stops,
                            const Shadow* dropShadow, const Shadow* innerShadow)
{
    if ((!stops && !dropShadow && !innerShadow) || image.isNull() || rect.isEmpty())
        return;
    QRectF bounds = rect;
    if (dropShadow)
        bounds |= shadowedRect(*dropShadow, rect, true);
    if (innerShadow)
        bounds |= rectToCastInnerShadow(*innerShadow, rect, true);
    const QRect area = bounds.toAlignedRect();
    const qreal scale = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QRectF inMask((rect.topLeft() - area.topLeft()) * scale, rect.size() * scale);

    QImage shape(area.size() * scale, QImage::Format_ARGB32_Premultiplied);
    shape.fill(Qt::transparent);
    {
        QPainter p(&shape);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(inMask, image);
    }
    QImage outside = shape;
    {
        QPainter p(&outside);
        p.setCompositionMode(QPainter::CompositionMode_Xor);
        p.fillRect(outside.rect(), Qt::white);
    }

    QImage result(shape.size(), QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    QPainter p(&result);
    if (dropShadow)
        p.drawImage(0, 0, shadowLayer(shape, outside, *dropShadow, scale));
    if (stops || innerShadow) {
        QImage inside(shape.size(), QImage::Format_ARGB32_Premultiplied);
        inside.fill(Qt::transparent);
        QPainter q(&inside);
        if (stops) {
            QLinearGradient gradient(inMask.topLeft(), inMask.bottomLeft());
            gradient.setStops(*stops);
            q.fillRect(inMask, gradient);
        }
        if (innerShadow)
            q.drawImage(0, 0, shadowLayer(outside, shape, *innerShadow, scale));
        q.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        q.drawImage(0, 0, shape);
        q.end();
        p.drawImage(0, 0, inside);
    }
    p.end();
    result.setDevicePixelRatio(scale);
    painter.drawImage(area.topLeft(), result);
}

}  // namespace orv
