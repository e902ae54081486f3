#include "app/viewmodels/ThumbnailImages.h"

#include <QBuffer>
#include <QImageReader>
#include <QTransform>
#include <algorithm>

namespace orv::thumbnail_images {

QImage decode(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    return reader.read();
}

QByteArray encodePng(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QImage imageRotatedByDegrees(const QImage& image, double degrees)
{
    // Qt's y axis points down, so a clockwise turn here is counter-clockwise there.
    return image.transformed(QTransform().rotate(-degrees), Qt::SmoothTransformation);
}

QImage squareImage(const QImage& image)
{
    const int side = std::min(image.width(), image.height());
    return image.copy((image.width() - side) / 2, (image.height() - side) / 2, side, side);
}

QImage squareImageWithCenterRect(const QImage& image, const QRect& rect)
{
    const int side = std::min(image.width(), image.height());
    const QPoint centre = rect.center();
    const int x = std::clamp(centre.x() - side / 2, 0, image.width() - side);
    const int y = std::clamp(centre.y() - side / 2, 0, image.height() - side);
    return image.copy(x, y, side, side);
}

}  // namespace orv::thumbnail_images
