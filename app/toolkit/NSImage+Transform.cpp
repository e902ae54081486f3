#include "app/toolkit/NSImage+Transform.h"

#include <QTransform>

namespace orv {

QImage imageRotatedByDegrees(const QImage& image, double degrees)
{
    // Qt's y axis points down, so a clockwise turn here is counter-clockwise there.
    return image.transformed(QTransform().rotate(-degrees), Qt::SmoothTransformation);
}

}  // namespace orv
