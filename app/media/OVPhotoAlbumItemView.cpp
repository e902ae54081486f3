#include "app/media/OVPhotoAlbumItemView.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "app/viewmodels/AppImages.h"

namespace orv {

namespace {

double trunc(double x) { return std::trunc(x); }

void fillRounded(QPainter& painter, const QRectF& rect, double radius, const QColor& color)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    painter.fillPath(path, color);
}

}  // namespace

OVPhotoAlbumItemView::OVPhotoAlbumItemView(QWidget* parent) : IBCollectionItemView(parent) {}

QRectF OVPhotoAlbumItemView::imageFrameRect(const QRectF& bounds)
{
    const double s = trunc(bounds.width() - 4 - 16);
    const double x = trunc((bounds.width() - s) * 0.5);
    return QRectF(x - 3, 1, s + 6, s + 6);
}

QRectF OVPhotoAlbumItemView::imageRect(const QRectF& bounds, QSizeF image)
{
    double w = trunc(bounds.width() - 4 - 10);
    double h = w;
    if (!image.isEmpty()) {
        w = trunc(image.width());
        h = trunc(image.height());
    }
    return QRectF(trunc((bounds.width() - w) * 0.5), 0, w, h);
}

QRectF OVPhotoAlbumItemView::titleFrameRect(const QRectF& bounds, QSizeF label, const QRectF& imageFrame)
{
    const QRectF b8 = bounds.adjusted(8, 8, -8, -8);
    double w = label.isEmpty() ? 10 : trunc(label.width() + 12);
    const double h = label.isEmpty() ? 14 : trunc(label.height() + 6);
    if (w > b8.width())
        w = trunc(b8.width());
    return QRectF(b8.x() + trunc((b8.width() - w) * 0.5), imageFrame.bottom() + 4, w, h);
}

QRectF OVPhotoAlbumItemView::titleTextRect(const QRectF& bounds, QSizeF label, const QRectF& titleFrame)
{
    const QRectF b8 = bounds.adjusted(8, 8, -8, -8);
    double w = label.isEmpty() ? 10 : trunc(label.width() + 4);
    const double h = label.isEmpty() ? 14 : trunc(label.height());
    if (w > b8.width() - 6)
        w = trunc(b8.width() - 6);
    return QRectF(b8.x() + trunc((b8.width() - w) * 0.5), std::round((titleFrame.height() - h) * 0.5) + titleFrame.y() - 1,
                  w, h);
}

QRectF OVPhotoAlbumItemView::imageRect() const
{
    return imageRect(QRectF(rect()), image_.isNull() ? QSizeF() : image_.deviceIndependentSize());
}

QFont OVPhotoAlbumItemView::titleFont() { return QApplication::font(); }

QString OVPhotoAlbumItemView::label() const
{
    if (title_.isNull())
        return {};
    return title_ + QStringLiteral(" (%1)").arg(number_);
}

QSizeF OVPhotoAlbumItemView::labelSize() const
{
    const QString text = label();
    if (text.isEmpty())
        return {};
    const QFontMetricsF metrics(titleFont());
    return QSizeF(metrics.horizontalAdvance(text), metrics.height());
}

QRectF OVPhotoAlbumItemView::titleFrameRect() const
{
    return titleFrameRect(QRectF(rect()), labelSize(), imageFrameRect());
}

QRectF OVPhotoAlbumItemView::titleTextRect() const
{
    return titleTextRect(QRectF(rect()), labelSize(), titleFrameRect());
}

bool OVPhotoAlbumItemView::clickTest(QPointF point) const
{
    return imageRect().contains(point) || titleFrameRect().contains(point);
}

bool OVPhotoAlbumItemView::accpetSelectWithRect(QRectF rect) const
{
    return imageRect().intersects(rect) || titleFrameRect().intersects(rect);
}

void OVPhotoAlbumItemView::setRepresentedObject(OVViewModelRef object)
{
    if (object == representedObject_)
        return;
    representedObject_ = std::move(object);
    image_ = QImage();
    error_.clear();
    update();
}

void OVPhotoAlbumItemView::setDropOn(bool on)
{
    if (on == dropOn_)
        return;
    dropOn_ = on;
    update();
}

void OVPhotoAlbumItemView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QColor shade(0, 0, 0, 26);
    if (dropOn_) {
        fillRounded(painter, imageFrameRect().adjusted(-1, 2, 1, -2), 4, shade);
        if (!selected())
            fillRounded(painter, titleTextRect().adjusted(-4, 1, 4, -1), 5, shade);
    }
    if (selected())
        fillRounded(painter, imageFrameRect(), 4, shade);
    drawImage(painter);
    drawTitle(painter);
}

void OVPhotoAlbumItemView::drawImage(QPainter& painter)
{
    const QRectF r = imageRect();
    if (!error_.isEmpty()) {
        drawGrayBox(painter);
        QFont font = QApplication::font();
        font.setPointSizeF(9);
        painter.setFont(font);
        painter.setPen(Qt::red);
        painter.drawText(r.adjusted(20, 20, -20, -20), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, error_);
        return;
    }
    if (image_.isNull()) {
        drawGrayBox(painter);
        return;
    }
    painter.drawImage(r, image_);
}

void OVPhotoAlbumItemView::drawGrayBox(QPainter& painter)
{
    const QImage frame = app_images::albumFrame(1);
    if (frame.isNull())
        return;
    const QSizeF size = frame.deviceIndependentSize();
    painter.drawImage(QPointF(trunc((width() - trunc(size.width())) * 0.5), 0), frame);
}

void OVPhotoAlbumItemView::drawTitle(QPainter& painter)
{
    if (title_.isNull())
        return;
    if (selected())
        fillRounded(painter, titleFrameRect(), 3, QColor(84, 133, 244));
    const QRectF textRect = titleTextRect();
    painter.setFont(titleFont());
    const QFontMetricsF metrics(titleFont());
    // Two runs: the title in dark grey, the count in a lighter grey; all white when selected.
    const QString count = QStringLiteral(" (%1)").arg(number_);
    const double countWidth = metrics.horizontalAdvance(count);
    const double room = std::max(0.0, textRect.width() - countWidth);
    const QString title = metrics.elidedText(title_, Qt::ElideMiddle, room);
    const double total = metrics.horizontalAdvance(title) + countWidth;
    double x = textRect.x() + std::max(0.0, (textRect.width() - total) * 0.5);
    const QColor titleColor = selected() ? QColor(Qt::white) : QColor::fromRgbF(0.316f, 0.316f, 0.316f);
    const QColor countColor = selected() ? QColor(Qt::white) : QColor(Qt::gray);
    painter.setPen(titleColor);
    painter.drawText(QRectF(x, textRect.y(), metrics.horizontalAdvance(title) + 1, textRect.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, title);
    x += metrics.horizontalAdvance(title);
    painter.setPen(countColor);
    painter.drawText(QRectF(x, textRect.y(), countWidth + 1, textRect.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     count);
}

}  // namespace orv
