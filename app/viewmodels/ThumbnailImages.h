#pragma once
// Thumbnail bytes: decoding what the phone sends and the PNG the cache keeps.

#include <QImage>

namespace orv::thumbnail_images {

// Decodes picture bytes as they are, without turning them by their own
// metadata (the phone's record says how to turn them); null when they do not decode.
QImage decode(const QByteArray& bytes);
// The picture as PNG bytes: what the cache keeps of thumbnails and covers.
QByteArray encodePng(const QImage& image);

}  // namespace orv::thumbnail_images
