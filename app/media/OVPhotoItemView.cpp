#include "app/media/OVPhotoItemView.h"

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
    error_.clear();
    update();
}

void OVPhotoItemView::setImage(const QImage& image)
{
    if (image.cacheKey() == image_.cacheKey() && image.isNull() == image_.isNull())
        return;
    image_ = image;
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
        painter.drawImage(r, image_);
        QPainterPath frame;
        frame.addRect(r);
        painter.setPen(QPen(QColor(0, 0, 0, 33), 1));
        strokeInside(painter, frame);
    } else {
        painter.drawImage(r.adjusted(-2, -2, 2, 2), photoPlaceholder(r.width()));
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
