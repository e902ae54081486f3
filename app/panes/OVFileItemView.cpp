#include "app/panes/OVFileItemView.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "app/panes/PaneImages.h"
#include "app/toolkit/NSColor+LXExtension.h"
#include "app/toolkit/OVPieProgressBar.h"

namespace orv {
namespace {

double trunc(double x) { return std::trunc(x); }

QSizeF imageSize(const QImage& image)
{
    return image.isNull() ? QSizeF() : image.deviceIndependentSize();
}

void fillRounded(QPainter& p, const QRectF& rect, double radius, const QColor& color)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    p.fillPath(path, color);
}

}  // namespace

OVFileItemView::OVFileItemView(QWidget* parent) : IBCollectionItemView(parent) {}

OVFileItemView::~OVFileItemView() = default;

// --- geometry -------------------------------------------------------------

QRectF OVFileItemView::imageFrameRect(double width)
{
    const double side = trunc(width - 36);
    const QRectF slot(trunc((width - side) / 2), 10, side, side);
    return slot.adjusted(-7, -7, 7, 7);
}

QRectF OVFileItemView::imageRect(double width, QSizeF image, bool framed, QSizeF frameImage)
{
    const double side = trunc(width - 36);
    double w = side;
    double h = side;
    if (!image.isEmpty()) {
        if (std::abs(image.width() - side) < 30) {
            w = trunc(image.width());
            h = trunc(image.height());
        } else {
            h = side;
            w = trunc(side * image.width() / image.height());
        }
    }
    if (framed && !frameImage.isEmpty()) {
        w = trunc(frameImage.width());
        h = trunc(frameImage.height());
    }
    const QRectF frame = imageFrameRect(width);
    return QRectF(trunc((width - w) / 2), trunc(frame.y() + frame.height() / 2 - h / 2), w, h);
}

QRectF OVFileItemView::videoRect(const QRectF& imageRect, QSizeF videoIcon)
{
    const QSizeF size = videoIcon.isEmpty() ? QSizeF(30, 30) : QSizeF(trunc(videoIcon.width()), trunc(videoIcon.height()));
    return QRectF(imageRect.x() + 14, imageRect.y() + imageRect.height() - 32, size.width(), size.height());
}

QRectF OVFileItemView::titleFrameRect(const QRectF& bounds, QSizeF title)
{
    const double w0 = title.isEmpty() ? 10 : trunc(title.width() + 9);
    const double h0 = title.isEmpty() ? 14 : trunc(title.height());
    const QRectF inner = bounds.adjusted(1, 1, -1, -1);
    const double width = w0 > inner.width() - 9 ? trunc(inner.width() - 9) : w0;
    const double x = trunc(std::ceil(trunc(inner.width() - width) / 2 + inner.x()));
    const QRectF frame(x, imageFrameRect(bounds.width()).bottom() + 7, trunc(inner.width() - 2 * x) + 2, h0);
    return frame.adjusted(-2, -3, 2, 3);
}

QRectF OVFileItemView::titleTextRect(const QRectF& bounds, QSizeF title, const QRectF& titleFrameRect)
{
    const double w0 = title.isEmpty() ? 10 : trunc(title.width() + 9);
    const double h0 = title.isEmpty() ? 14 : trunc(title.height());
    const QRectF inner = bounds.adjusted(1, 1, -1, -1);
    const double width = w0 > inner.width() - 12 ? trunc(inner.width() - 12) : w0;
    return QRectF(trunc(inner.width() - width) / 2 + inner.x(), titleFrameRect.y() - 1, width, std::max(h0, 15.0));
}

QRectF OVFileItemView::subTitleTextRect(const QRectF& bounds, double subtitleWidth, const QRectF& titleTextRect)
{
    const double w0 = subtitleWidth < 0 ? 10 : trunc(subtitleWidth);
    const QRectF inner8 = bounds.adjusted(8, 8, -8, -8);
    double width = w0;
    double height = 14;
    if (w0 > inner8.width() - 12) {
        width = trunc(inner8.width() - 12);
        height = 27;
    }
    return QRectF(trunc(inner8.width() - width) / 2 + inner8.x(), titleTextRect.y() + titleTextRect.height() + 7, width, height);
}

QFont OVFileItemView::titleFont()
{
    QFont font = QApplication::font();
    font.setPixelSize(13);
    return font;
}

QFont OVFileItemView::subtitleFont()
{
    QFont font = QApplication::font();
    font.setPixelSize(10);
    return font;
}

QSizeF OVFileItemView::titleSize() const
{
    if (title_.isEmpty())
        return QSizeF();
    const QFontMetricsF metrics(titleFont());
    return QSizeF(metrics.horizontalAdvance(title_), metrics.height());
}

double OVFileItemView::subtitleWidth() const
{
    return subTitle_.isEmpty() ? -1 : QFontMetricsF(subtitleFont()).horizontalAdvance(subTitle_);
}

QRectF OVFileItemView::imageRect() const
{
    return imageRect(width(), imageSize(image_), needIconShadow_, imageSize(pane_images::image(QStringLiteral("icon_imageborder"))));
}

QRectF OVFileItemView::videoRect() const
{
    return videoRect(imageRect(), imageSize(pane_images::image(QStringLiteral("videoIcon"))));
}

QRectF OVFileItemView::titleFrameRect() const
{
    return titleFrameRect(rect(), titleSize());
}

QRectF OVFileItemView::titleTextRect() const
{
    return titleTextRect(rect(), titleSize(), titleFrameRect());
}

QRectF OVFileItemView::subTitleTextRect() const
{
    return subTitleTextRect(rect(), subtitleWidth(), titleTextRect());
}

bool OVFileItemView::accpetSelectWithRect(QRectF rect) const
{
    return rect.intersects(imageRect()) || rect.intersects(titleFrameRect());
}

bool OVFileItemView::clickTest(QPointF point) const
{
    return imageRect().contains(point) || titleTextRect().contains(point);
}

// --- state ----------------------------------------------------------------

void OVFileItemView::setNeedIconShadow(bool on)
{
    needIconShadow_ = on;
    update();
}

void OVFileItemView::setIsKeyItem(bool on)
{
    isKeyItem_ = on;
    update();
}

void OVFileItemView::setIsVideo(bool on)
{
    isVideo_ = on;
    update();
}

void OVFileItemView::setIsHiddenFile(bool on)
{
    isHiddenFile_ = on;
    update();
}

void OVFileItemView::setDropOn(bool on)
{
    if (on == dropOn_)
        return;
    dropOn_ = on;
    update();
}

void OVFileItemView::setImage(const QImage& image)
{
    image_ = image;
    update();
}

void OVFileItemView::setTitle(const QString& title)
{
    title_ = title;
    update();
}

void OVFileItemView::setSubTitle(const QString& subTitle)
{
    subTitle_ = subTitle;
    update();
}

std::unique_ptr<OVFileItemView> OVFileItemView::copy() const
{
    auto view = std::make_unique<OVFileItemView>();
    view->resize(size());
    view->image_ = image_;
    view->title_ = title_;
    view->subTitle_ = subTitle_;
    view->needIconShadow_ = needIconShadow_;
    view->isKeyItem_ = isKeyItem_;
    view->isVideo_ = isVideo_;
    view->isHiddenFile_ = isHiddenFile_;
    view->dropOn_ = dropOn_;
    return view;
}

QString OVFileItemView::debugQuickLookObject() const
{
    const OVViewModel* m = representedObject_.get();
    QString text = QStringLiteral("representedObject: %1(%2)\npath: %3")
                       .arg(QStringLiteral("0x%1").arg(quintptr(m), 0, 16),
                            m ? QString::fromLatin1(m->metaObject()->className()) : QStringLiteral("nil"),
                            m ? m->path() : QString());
    if (m && (m->isImage() || m->isVideo())) {
        text += m->isImage() ? QStringLiteral("Type: image\n") : QStringLiteral("Type: video\n");
        text += QStringLiteral("Has Thumbnail: %1\n").arg(m->thumbnail().isNull() ? QStringLiteral("NO") : QStringLiteral("YES"));
        if (!m->thumbnailError().isEmpty())
            text += QStringLiteral("Thumbnail Error: %1\n").arg(m->thumbnailError());
    }
    return text;
}

// --- the preview copy's pie -------------------------------------------------

void OVFileItemView::startDownloadingAnimation()
{
    if (pie_)
        return;
    const QRectF picture = imageRect();
    pie_ = new OVPieProgressBar(this);
    pie_->setGeometry(int(picture.center().x() - 15), int(picture.center().y() + 15), 30, 30);
    pie_->show();
}

void OVFileItemView::stopDownloadingAnimation()
{
    delete pie_.data();
}

void OVFileItemView::setMaxValue(double value)
{
    if (pie_)
        pie_->setMaxValue(value);
}

void OVFileItemView::setDoubleValue(double value)
{
    if (pie_)
        pie_->setDoubleValue(value);
}

// --- drawing ----------------------------------------------------------------

QColor OVFileItemView::titleColor(bool selected, bool keyItem, bool hidden)
{
    if (selected)
        return Qt::white;
    if (keyItem)
        return Qt::red;
    if (hidden)
        return colorWithHex(QStringLiteral("8f9297"));
    return QColor::fromRgbF(0.316f, 0.316f, 0.316f);
}

void OVFileItemView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QColor shade(0, 0, 0, 26);
    const QRectF frame = imageFrameRect();
    const QRectF titleText = titleTextRect();
    if (dropOn_) {
        fillRounded(p, frame.adjusted(-1, 2, 1, -2), 4, shade);
        if (!selected())
            fillRounded(p, titleText.adjusted(-4, 1, 4, -1), 5, shade);
    }
    if (selected())
        fillRounded(p, frame, 4, shade);

    const double opacity = isHiddenFile_ ? 0.4 : 1.0;
    const QRectF picture = imageRect();
    const QImage border = pane_images::image(QStringLiteral("icon_imageborder"));
    p.setOpacity(opacity);
    if (!image_.isNull() && needIconShadow_) {
        p.drawImage(picture, border);
        p.drawImage(picture.adjusted(2, 3 - 1, -2, -3), image_);
    } else if (!image_.isNull()) {
        p.drawImage(picture, image_);
    } else if (needIconShadow_) {
        p.drawImage(picture, border);
    }
    p.setOpacity(1.0);
    if (isVideo_ && needIconShadow_) {
        p.setOpacity(0.94);
        p.drawImage(videoRect(), pane_images::image(QStringLiteral("videoIcon")));
        p.setOpacity(1.0);
    }

    p.save();
    p.setOpacity(opacity);
    if (!title_.isEmpty()) {
        if (selected())
            fillRounded(p, titleFrameRect(), 3,
                        QColor::fromRgbF(0.32941176470588235f, 0.5215686274509804f, 0.9568627450980393f));
        p.setFont(titleFont());
        p.setPen(titleColor(selected(), isKeyItem_, isHiddenFile_));
        const QRectF textRect = titleText.translated(0, 3);
        const QFontMetricsF metrics(titleFont());
        p.drawText(textRect, Qt::AlignHCenter | Qt::AlignTop, metrics.elidedText(title_, Qt::ElideMiddle, textRect.width()));
    }
    if (!subTitle_.isEmpty()) {
        // The rectangle's width is the measured width cut to whole points:
        // a pixel either side keeps a text that fits from being shortened.
        const QRectF sub = subTitleTextRect().adjusted(-1, 0, 1, 0);
        p.setFont(subtitleFont());
        p.setPen(QColor(128, 128, 128));
        const QFontMetricsF metrics(subtitleFont());
        if (subTitleTextRect().height() > 14) {
            // Two lines: the first as much as fits, the rest cut in the middle.
            int fit = 0;
            while (fit < subTitle_.size() && metrics.horizontalAdvance(subTitle_.left(fit + 1)) <= sub.width())
                ++fit;
            const QString second = metrics.elidedText(subTitle_.mid(fit), Qt::ElideMiddle, sub.width());
            p.drawText(QRectF(sub.x(), sub.y(), sub.width(), 13.5), Qt::AlignHCenter | Qt::AlignTop, subTitle_.left(fit));
            p.drawText(QRectF(sub.x(), sub.y() + 13.5, sub.width(), 13.5), Qt::AlignHCenter | Qt::AlignTop, second);
        } else {
            p.drawText(sub, Qt::AlignHCenter | Qt::AlignTop, metrics.elidedText(subTitle_, Qt::ElideMiddle, sub.width()));
        }
    }
    p.restore();
}

}  // namespace orv
