#include "app/media/OVPhotoItemView.h"

#include <QHash>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <cmath>

#include "app/panes/PaneImages.h"
#include "app/shell/L10n.h"
#include "app/toolkit/ApplicationImages.h"
#include "app/toolkit/NSBezierPath+LXExtension.h"

namespace orv {

namespace {

QImage makePlaceholder(int side)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    const QRectF inner(2, 2, side - 4, side - 4);
    painter.fillRect(inner, QColor(249, 249, 249));
    QPainterPath path;
    path.addRect(inner);
    painter.setPen(QPen(QColor(225, 225, 225), 1));
    strokeInside(painter, path);
    return image;
}

QSizeF iconSize(const QImage& image)
{
    return image.isNull() ? QSizeF() : image.deviceIndependentSize();
}

// Darkens one pixel as black at alpha 33/255 drawn over it would.
inline QRgb shaded(QRgb pixel)
{
    constexpr int keep = 255 - 33;
    return qRgba(qRed(pixel) * keep / 255, qGreen(pixel) * keep / 255, qBlue(pixel) * keep / 255,
                 qAlpha(pixel) + 33 * (255 - qAlpha(pixel)) / 255);
}

// The thumbnail at the size it is shown, with a one-point dark frame just
// inside its edge. Made once per image and size, and the frame is set pixel
// by pixel: painting it in every paint (a path stroke or an outline
// rectangle) hands each cell's few pixels to the paint engine's worker
// threads and costs more than the rest of the cell.
QPixmap framedPicture(const QImage& image, QSize size)
{
    QImage picture = image.size() == size ? image : image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    picture = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = picture.width();
    const int h = picture.height();
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        if (y == 0 || y == h - 1) {
            for (int x = 0; x < w; ++x)
                line[x] = shaded(line[x]);
        } else if (w > 0) {
            line[0] = shaded(line[0]);
            if (w > 1)
                line[w - 1] = shaded(line[w - 1]);
        }
    }
    return QPixmap::fromImage(std::move(picture));
}

// The placeholder scaled once per size it is shown at (cells come in three
// sizes), not in every paint.
const QPixmap& placeholderAt(QSize size)
{
    static QHash<quint64, QPixmap> scaled;
    const quint64 key = (quint64(uint(size.width())) << 32) | uint(size.height());
    auto found = scaled.find(key);
    if (found == scaled.end())
        found = scaled.insert(key, QPixmap::fromImage(photoPlaceholder(size.width() - 4)
                                                          .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    return *found;
}

}  // namespace

QImage photoPlaceholder(double imageWidth)
{
    // Drawn once per process and shared by every cell.
    static const QImage large = makePlaceholder(144);
    static const QImage medium = makePlaceholder(104);
    static const QImage small = makePlaceholder(66);
    if (imageWidth > 120)
        return large;
    if (imageWidth < 80)
        return small;
    return medium;
}

QImage panoramaBadgeImage()
{
    const QImage named = namedImage(QStringLiteral("panoramaIcon"));
    if (!named.isNull())
        return named;
    static const QImage drawn = [] {
        QImage image(30, 30, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(2, 9, 26, 12), 3, 3);
        painter.fillPath(path, QColor(0, 0, 0, 140));
        painter.setPen(QPen(Qt::white, 1.5));
        painter.drawLine(QPointF(6, 17), QPointF(12, 13));
        painter.drawLine(QPointF(12, 13), QPointF(17, 16));
        painter.drawLine(QPointF(17, 16), QPointF(24, 12));
        return image;
    }();
    return drawn;
}

OVPhotoItemView::OVPhotoItemView(QWidget* parent) : IBCollectionItemView(parent) {}

OVPhotoItemView::~OVPhotoItemView() = default;

QRectF OVPhotoItemView::imageRect(const QRectF& bounds)
{
    const double d = bounds.width() < 85 ? 2 : bounds.width() < 120 ? 3 : 4;
    return bounds.adjusted(d, d, -d, -d);
}

double OVPhotoItemView::selectionGrowth(double imageWidth) { return imageWidth < 85 ? 2 : imageWidth < 120 ? 3 : 4; }

double OVPhotoItemView::selectionRadius(double imageWidth) { return imageWidth < 85 ? 2 : imageWidth < 120 ? 3 : 5; }

QRectF OVPhotoItemView::badgeRect(const QRectF& imageRect, QSizeF icon)
{
    const double w = icon.width() > 0 ? std::trunc(icon.width()) : 30;
    const double h = icon.height() > 0 ? std::trunc(icon.height()) : 30;
    return QRectF(imageRect.x() + 14, imageRect.y() + imageRect.height() - 32, w, h);
}

QRectF OVPhotoItemView::panoramaRect() const { return badgeRect(imageRect(), iconSize(panoramaBadgeImage())); }

QRectF OVPhotoItemView::videoRect() const
{
    return badgeRect(imageRect(), iconSize(pane_images::image(QStringLiteral("videoIcon"))));
}

bool OVPhotoItemView::clickTest(QPointF point) const { return imageRect().contains(point); }

bool OVPhotoItemView::accpetSelectWithRect(QRectF rect) const { return imageRect().intersects(rect); }

void OVPhotoItemView::setRepresentedObject(OVViewModelRef object)
{
    if (object == representedObject_)
        return;
    representedObject_ = std::move(object);
    image_ = QImage();
    drawn_ = QPixmap();
    error_.clear();
    update();
}

void OVPhotoItemView::setImage(const QImage& image)
{
    if (image.cacheKey() == image_.cacheKey() && image.isNull() == image_.isNull())
        return;
    image_ = image;
    drawn_ = QPixmap();
    update();
}

QString OVPhotoItemView::toolTipAt(QPointF point) const
{
    if (isPanorama_ && panoramaRect().contains(point))
        return L10n::text("PanoramaPhotoItem");
    if (isVideo_ && videoRect().contains(point))
        return L10n::text("VideoItem");
    return {};
}

bool OVPhotoItemView::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = toolTipAt(help->pos());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    return IBCollectionItemView::event(event);
}

void OVPhotoItemView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF r = imageRect();
    if (selected()) {
        const double g = selectionGrowth(r.width());
        const double c = selectionRadius(r.width());
        QPainterPath ring;
        ring.addRoundedRect(r.adjusted(-g, -g, g, g), c, c);
        painter.fillPath(ring, QColor(97, 143, 248));
    }
    if (error_.isEmpty() && !image_.isNull()) {
        const QSize size = r.size().toSize();
        if (drawn_.isNull() || drawn_.size() != size)
            drawn_ = framedPicture(image_, size);
        painter.drawPixmap(r.topLeft(), drawn_);
    } else {
        painter.drawPixmap(r.topLeft() - QPointF(2, 2), placeholderAt(r.size().toSize() + QSize(4, 4)));
    }
    if (isVideo_) {
        const QImage badge = pane_images::image(QStringLiteral("videoIcon"));
        if (!badge.isNull()) {
            painter.setOpacity(0.94);
            painter.drawImage(videoRect(), badge);
        }
    } else if (isPanorama_) {
        painter.setOpacity(0.96);
        painter.drawImage(panoramaRect(), panoramaBadgeImage());
    }
}

void OVPhotoItemView::startDownloadingAnimation()
{
    if (pie_)
        return;
    const QRectF r = imageRect();
    pie_ = new OVPieProgressBar(this);
    pie_->setGeometry(int(r.x() + r.width() / 2 - 15), int(r.y() + r.height() / 2 - 15), 30, 30);
    pie_->show();
}

void OVPhotoItemView::stopDownloadingAnimation() { delete pie_.data(); }

void OVPhotoItemView::setMaxValue(double value)
{
    if (pie_)
        pie_->setMaxValue(value);
}

void OVPhotoItemView::setDoubleValue(double value)
{
    if (pie_)
        pie_->setDoubleValue(value);
}

}  // namespace orv
