#include "app/toolkit/IBCollectionDragBadge.h"

#include <QApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace orv {

namespace {
QFont badgeFont()
{
    QFont font = QApplication::font();
    font.setBold(true);
    font.setPixelSize(12);
    return font;
}
}  // namespace

QImage dragCountBadge(qsizetype count)
{
    const QString text = QString::number(count);
    const QFont font = badgeFont();
    const QFontMetricsF metrics(font);
    const int diameter = static_cast<int>(std::trunc(std::max(metrics.horizontalAdvance(text), metrics.height()) + 4));
    QImage image(diameter, diameter, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(242, 33, 36));
    painter.drawEllipse(QRectF(0, 0, diameter, diameter));
    painter.setPen(Qt::white);
    painter.setFont(font);
    painter.drawText(QRectF(2, 3, diameter - 4, diameter - 4), Qt::AlignCenter, text);
    return image;
}

QPixmap dragPixmapWithBadge(const QPixmap& tile, QPoint hotSpot, qsizetype count)
{
    const QImage badge = dragCountBadge(count);
    const QPoint badgeAt = hotSpot + kDragBadgeOffset;
    const int width = std::max(tile.width(), badgeAt.x() + badge.width());
    const int height = std::max(tile.height(), badgeAt.y() + badge.height());
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    if (!tile.isNull()) {
        painter.setOpacity(0.7);
        painter.drawPixmap(0, 0, tile);
        painter.setOpacity(1);
    }
    painter.drawImage(badgeAt, badge);
    return pixmap;
}

}  // namespace orv
