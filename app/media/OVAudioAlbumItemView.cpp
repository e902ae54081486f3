#include "app/media/OVAudioAlbumItemView.h"

#include <QPainter>
#include <QPainterPath>

namespace orv {

QRectF OVAudioAlbumItemView::coverRect(const QRectF& bounds)
{
    const double w = bounds.width();
    return QRectF(bounds.x() + 11, 11, w - 22, w - 22);
}

QRectF OVAudioAlbumItemView::coverFrameRect(const QRectF& bounds)
{
    return coverRect(bounds).adjusted(-11, -11, 11, 11);
}

void OVAudioAlbumItemView::drawImage(QPainter& painter)
{
    const QRectF cover = imageRect();
    if (!image().isNull()) {
        // A soft shadow, then the cover stretched to the square.
        painter.save();
        painter.setPen(Qt::NoPen);
        for (int ring = 2; ring >= 1; --ring) {
            QPainterPath path;
            path.addRoundedRect(cover.adjusted(-ring, -ring + 1, ring, ring + 1), ring, ring);
            painter.fillPath(path, QColor(0, 0, 0, 22));
        }
        painter.drawImage(cover, image());
        painter.restore();
    }
    painter.save();
    painter.setPen(QPen(QColor(0, 0, 0, 36), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(cover.adjusted(0.5, 0.5, -0.5, -0.5));
    painter.restore();
}

}  // namespace orv
