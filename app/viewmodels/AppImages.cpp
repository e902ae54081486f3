#include "app/viewmodels/AppImages.h"

#include <QDir>
#include <QPainter>
#include <QPainterPath>
#include <mutex>

#include "app/toolkit/ApplicationImages.h"
#include "app/toolkit/NSImage+FinderImage.h"
#include "core/bridge/facade/OVResources.h"

namespace orv::app_images {

QRect pictureRect() { return QRect(18, kFrameHeight - 19 - 130, 130, 130); }

QImage namedImage(const QString& name)
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return {};
    const QString file = QString::fromStdString(resourcePath("images")) + QLatin1Char('/') + name + QStringLiteral(".png");
    return QImage(file);
}

QImage albumFrame(int number)
{
    const int cards = std::clamp(number, 1, 3);
    const QImage named = namedImage(QStringLiteral("albumFrame%1").arg(cards));
    if (!named.isNull())
        return named;
    QImage frame(kFrameWidth, kFrameHeight, QImage::Format_ARGB32_Premultiplied);
    frame.fill(Qt::transparent);
    QPainter painter(&frame);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect picture = pictureRect();
    // Cards behind the front one peek out above it, each a little narrower.
    for (int card = cards - 1; card >= 0; --card) {
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
    const QImage named = namedImage(QStringLiteral("audioAlbum"));
    if (!named.isNull())
        return named;
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

QImage iconFolder()
{
    const QImage named = namedImage(QStringLiteral("icon_folder"));
    if (!named.isNull())
        return named;
    QImage folder(128, 128, QImage::Format_ARGB32_Premultiplied);
    folder.fill(Qt::transparent);
    QPainter painter(&folder);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x6c, 0xa6, 0xe0));
    QPainterPath tab;
    tab.addRoundedRect(QRectF(10, 20, 46, 20), 4, 4);
    painter.drawPath(tab);
    painter.setBrush(QColor(0x8c, 0xc0, 0xf0));
    painter.drawRoundedRect(QRectF(8, 30, 112, 82), 6, 6);
    return folder;
}

QImage iconForFileType(const QString& extension)
{
    // The toolkit's icons look in the same resources folder as ours.
    static std::once_flag installed;
    std::call_once(installed, [] { setNamedImageProvider(&namedImage); });
    const QImage icon = orv::iconForFileType(extension);
    if (!icon.isNull())
        return icon;
    QImage sheet(128, 128, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(Qt::transparent);
    QPainter painter(&sheet);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x8f, 0x92, 0x97), 2));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(26, 10, 76, 108), 4, 4);
    painter.setPen(QColor(0x5b, 0x5c, 0x62));
    painter.drawText(QRectF(26, 70, 76, 30), Qt::AlignCenter, extension.toUpper().left(5));
    return sheet;
}

QImage blankCanvas(int w, int h)
{
    QImage image(w * 2, h * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::transparent);
    return image;
}

}  // namespace orv::app_images
