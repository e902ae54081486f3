#pragma once
// Turning a picture about its centre into an image just large enough to hold it.

#include <QImage>

namespace orv {

// Turned counter-clockwise by `degrees` (as angles turn on a y-up canvas).
QImage imageRotatedByDegrees(const QImage& image, double degrees);

}  // namespace orv
