#include "app/viewmodels/AlbumFrames.h"

#include <QPainter>

namespace orv::album_frames {

QRect pictureRect() { return QRect(18, kFrameHeight - 19 - 130, 130, 130); }

QImage albumFrame(int number)
{
    QImage frame(kFrameWidth, kFrameHeight, QImage::Format_ARGB32_Premultiplied);
    frame.fill(Qt::transparent);
    QPainter painter(&frame);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect picture = pictureRect();
    // Cards behind the front one peek out above it, each a little narrower.
    for (int card = std::clamp(number, 1, 3) - 1; card >= 0; --card) {
        const QRect r = picture.adjusted(-8 + 5 * card, -8 - 5 * card, 8 - 5 * card, 8 - 5 * card);
        painter.setPen(QPen(QColor(0, 0, 0, 60), 1));
        painter.setBrush(card == 0 ? Qt::white : QColor(0xf5, 0xf5, 0xf5));
        painter.drawRoundedRect(r, 3, 3);
    }
    painter.fillRect(picture, QColor(0xe8, 0xe8, 0xea));
    return frame;
}

QImage audioAlbum()
{
    QImage cover(128, 128, QImage::Format_ARGB32_Premultiplied);
    cover.fill(QColor(0xe8, 0xe8, 0xea));
    QPainter painter(&cover);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x8f, 0x92, 0x97));
    painter.drawEllipse(QPointF(64, 64), 40, 40);
    painter.setBrush(QColor(0xe8, 0xe8, 0xea));
    painter.drawEllipse(QPointF(64, 64), 8, 8);
    return cover;
}

}  // namespace orv::album_frames
