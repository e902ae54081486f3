#include "app/media/OVAudioAlbumItemView.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace orv {

namespace {

QFont titleFont() { return QApplication::font(); }

const QColor kTitleColor = QColor::fromRgbF(0.316f, 0.316f, 0.316f);

void fillRounded(QPainter& painter, const QRectF& rect, double radius, const QColor& color)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    painter.fillPath(path, color);
}

}  // namespace

OVAudioAlbumItemView::OVAudioAlbumItemView(QWidget* parent) : IBCollectionItemView(parent) {}

void OVAudioAlbumItemView::setRepresentedObject(OVViewModelRef object)
{
    if (object != representedObject_) {
        image_ = QImage();
        error_.clear();
    }
    representedObject_ = std::move(object);
}

void OVAudioAlbumItemView::setDropOn(bool on)
{
    if (dropOn_ == on)
        return;
    dropOn_ = on;
    update();
}

QString OVAudioAlbumItemView::label() const { return QStringLiteral("%1 (%2)").arg(title_).arg(number_); }

QRectF OVAudioAlbumItemView::imageRect(const QRectF& bounds)
{
    const double w = bounds.width();
    return QRectF(bounds.x() + 11, 11, w - 22, w - 22);
}

QRectF OVAudioAlbumItemView::imageFrameRect(const QRectF& bounds)
{
    return imageRect(bounds).adjusted(-11, -11, 11, 11);
}

QSizeF OVAudioAlbumItemView::labelSize() const
{
    if (title_.isNull())
        return {};
    const QFontMetricsF metrics(titleFont());
    return QSizeF(metrics.horizontalAdvance(label()), metrics.height());
}

QRectF OVAudioAlbumItemView::titleFrameRect(const QRectF& bounds, QSizeF label)
{
    const QRectF inset = bounds.adjusted(8, 8, -8, -8);
    double w = 10;
    double h = 14;
    if (!label.isEmpty()) {
        w = std::trunc(label.width() + 12);
        h = std::trunc(label.height() + 6);
    }
    if (w > inset.width())
        w = std::trunc(inset.width());
    return QRectF(inset.x() + std::trunc((inset.width() - w) * 0.5), imageFrameRect(bounds).bottom() + 4, w, h);
}

QRectF OVAudioAlbumItemView::titleFrameRect() const { return titleFrameRect(rect(), labelSize()); }

QRectF OVAudioAlbumItemView::titleTextRect() const
{
    const QRectF inset = QRectF(rect()).adjusted(8, 8, -8, -8);
    const QSizeF size = labelSize();
    double w = size.isEmpty() ? 10 : std::trunc(size.width() + 4);
    const double h = size.isEmpty() ? 14 : std::trunc(size.height());
    if (w > inset.width() - 6)
        w = std::trunc(inset.width() - 6);
    const QRectF badge = titleFrameRect();
    return QRectF(inset.x() + std::trunc((inset.width() - w) * 0.5), std::round((badge.height() - h) * 0.5) + badge.y() - 1,
                  w, h);
}

bool OVAudioAlbumItemView::clickTest(QPointF point) const
{
    return imageRect().contains(point) || titleFrameRect().contains(point);
}

bool OVAudioAlbumItemView::accpetSelectWithRect(QRectF band) const
{
    return imageRect().intersects(band) || titleFrameRect().intersects(band);
}

void OVAudioAlbumItemView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor highlight(0, 0, 0, 26);
    const QRectF frame = imageFrameRect();
    if (dropOn_) {
        fillRounded(painter, frame.adjusted(1, 2, -1, -2), 4, highlight);
        if (!selected())
            fillRounded(painter, titleTextRect().adjusted(-4, 1, 4, -1), 5, highlight);
    }
    if (selected())
        fillRounded(painter, frame, 4, highlight);

    const QRectF cover = imageRect();
    if (!image_.isNull()) {
        // A soft shadow, then the cover stretched to the square.
        for (int ring = 2; ring >= 1; --ring)
            fillRounded(painter, cover.adjusted(-ring, -ring + 1, ring, ring + 1), ring, QColor(0, 0, 0, 22));
        painter.drawImage(cover, image_);
    }
    painter.setPen(QPen(QColor(0, 0, 0, 36), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(cover.adjusted(0.5, 0.5, -0.5, -0.5));

    if (title_.isNull())
        return;
    const QRectF badge = titleFrameRect();
    if (selected())
        fillRounded(painter, badge, 3, QColor(84, 133, 244));
    const QRectF textRect = titleTextRect();
    painter.setFont(titleFont());
    const QFontMetricsF metrics(titleFont());
    const QString count = QStringLiteral(" (%1)").arg(number_);
    const double countWidth = metrics.horizontalAdvance(count);
    // A long name is cut in its middle; the count always shows.
    const QString name = metrics.elidedText(title_, Qt::ElideMiddle, std::max(0.0, textRect.width() - countWidth));
    const double nameWidth = metrics.horizontalAdvance(name);
    const double x = textRect.x() + std::max(0.0, (textRect.width() - nameWidth - countWidth) * 0.5);
    painter.setPen(selected() ? QColor(Qt::white) : kTitleColor);
    painter.drawText(QRectF(x, textRect.y(), nameWidth + 1, textRect.height()), Qt::AlignLeft | Qt::AlignVCenter, name);
    painter.setPen(selected() ? QColor(Qt::white) : QColor(Qt::gray));
    painter.drawText(QRectF(x + nameWidth, textRect.y(), countWidth + 1, textRect.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, count);
}

}  // namespace orv
