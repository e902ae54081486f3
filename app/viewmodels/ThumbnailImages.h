#pragma once
// The picture operations thumbnails are made with: turning, and square crops
// (plain, or centred on a rectangle of the picture).

#include <QImage>
#include <QRect>

namespace orv::thumbnail_images {

// Decodes picture bytes as they are, without turning them by their own
// metadata (the phone's record says how to turn them); null when they do not decode.
QImage decode(const QByteArray& bytes);
// The picture as PNG bytes: what the cache keeps of thumbnails and covers.
QByteArray encodePng(const QImage& image);

// Turned counter-clockwise by `degrees` (as on a y-up canvas).
QImage imageRotatedByDegrees(const QImage& image, double degrees);
// A square of the shorter side, the picture centred in it.
QImage squareImage(const QImage& image);
// A square of the shorter side centred on `rect` (top-left pixel
// coordinates) as far as the picture allows.
QImage squareImageWithCenterRect(const QImage& image, const QRect& rect);

}  // namespace orv::thumbnail_images
