#pragma once
// A preview picture of a file on the computer, as the import's name-clash
// question shows it: the picture itself scaled into the size for images, else
// the application's icon for the file's type at that size.

#include <QImage>
#include <QSize>
#include <QString>

namespace orv::quick_look_image {

// Null for an empty path or a path that names nothing.
QImage imageWithPreviewOfFileAtPath(const QString& path, const QSize& size, bool asIcon);

}  // namespace orv::quick_look_image
