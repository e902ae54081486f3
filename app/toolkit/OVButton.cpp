#include "app/toolkit/OVButton.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <cmath>

#include "app/toolkit/NSBezierPath+LXExtension.h"
#include "app/toolkit/NSColor+LXExtension.h"

namespace orv {

namespace {

struct Palette {
    QColor base, lightTop, lightBottom;
};

Palette paletteFor(OVButton::Look look)
{
    if (look == OVButton::Blue)
        return {QColor(69, 97, 171), QColor(111, 151, 231), QColor(92, 129, 227)};
    return {QColor(179, 73, 65), QColor(222, 110, 99), QColor(210, 82, 71)};
}

// A vertical gradient over `rect`: `start` at the top, or at the bottom when `upwards`.
QLinearGradient vertical(const QRectF& rect, const QColor& start, const QColor& end, bool upwards = false)
{
    QLinearGradient g(upwards ? rect.bottomLeft() : rect.topLeft(), upwards ? rect.topLeft() : rect.bottomLeft());
    g.setColorAt(0, start);
    g.setColorAt(1, end);
    return g;
}

}  // namespace

OVButton::OVButton(QWidget* parent) : QAbstractButton(parent) {}

OVButton::OVButton(const QString& title, QWidget* parent) : QAbstractButton(parent) { setText(title); }

void OVButton::setCornerRadius(double radius)
{
    if (radius == cornerRadius_)
        return;
    cornerRadius_ = radius;
    update();
}

void OVButton::setImagePosition(ImagePosition position)
{
    imagePosition_ = position;
    update();
}

void OVButton::setImage(const QPixmap& image)
{
    image_ = image;
    update();
}

double OVButton::imageFraction() const
{
    if (!isEnabled())
        return 0.4;
    if (look() != Grey)
        return isDown() ? 0.9 : 1.0;
    if (isActiveWindow())
        return isDown() ? 1.0 : 0.94;
    return isDown() ? 0.9 : 0.8;
}

QColor OVButton::titleColor() const
{
    if (look() != Grey) {
        QColor white(Qt::white);
        white.setAlphaF(!isEnabled() ? 0.4f : isDown() ? 0.9f : 1.0f);
        return white;
    }
    const QColor text = colorWithHex("5b5c62");
    if (!isEnabled())
        return darkenBy(text, -0.4);
    return isDown() ? darkenBy(text, 0.3) : text;
}

QSize OVButton::sizeHint() const
{
    QFont f = font();
    f.setPixelSize(13);
    const int text = QFontMetrics(f).horizontalAdvance(this->text());
    const int picture = imagePosition_ != NoImage ? int(image_.deviceIndependentSize().width()) + 20 : 0;
    return QSize(std::max(60, text + picture + 28), 28);
}

void OVButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = rect();
    const QRectF body = frame.adjusted(2, 2, -2, -2);
    const float radius = float(cornerRadius_);
    const auto path = bezierPathWithRoundedRect(body, radius);
    if (!path)
        return;
    const bool pressed = isDown(), enabled = isEnabled();
    if (look() == Grey) {
        if (const auto lip = bezierPathWithRoundedRect(body.translated(0, 1.7), radius))
            painter.fillPath(*lip, Qt::white);
        const QColor border(enabled ? 200 : 220, enabled ? 200 : 220, enabled ? 200 : 220);
        if (pressed) {
            painter.fillPath(*path, darkenBy(border, -0.1));
            painter.setPen(QPen(darkenBy(border, 0.085), 1));
        } else {
            painter.fillPath(*path, vertical(body, colorWithHex("fefefe"), colorWithHex("f3f3f3")));
            painter.setPen(QPen(border, 1));
        }
        strokeInside(painter, *path);
        if (const auto highlight = bezierPathWithRoundedRect(body.translated(0, 1.7).adjusted(1, 1, -1, -1), radius)) {
            painter.setPen(QPen(QColor(255, 255, 255, 36), 1));
            strokeInside(painter, *highlight);
        }
    } else {
        const Palette p = paletteFor(look());
        const QRectF inner = body.adjusted(1, 1, -1, -1);
        // The shadow: a faint copy of the body just below it.
        if (const auto shade = bezierPathWithRoundedRect(inner.translated(0, 1.1).adjusted(-0.6, -0.6, 0.6, 0.6), radius))
            painter.fillPath(*shade, QColor(0, 0, 0, pressed ? 15 : 26));
        if (pressed)
            painter.fillPath(*path, vertical(body, darkenBy(p.base, 0.2), darkenBy(p.base, 0.35), true));
        else if (enabled)
            painter.fillPath(*path, vertical(body, p.base, darkenBy(p.base, 0.1)));
        else
            painter.fillPath(*path, vertical(body, darkenBy(p.base, 0.1), darkenBy(p.base, 0.15)));
        if (const auto fill = bezierPathWithRoundedRect(inner, radius)) {
            if (pressed)
                painter.fillPath(*fill, vertical(inner, darkenBy(p.lightTop, 0.15), darkenBy(p.lightBottom, 0.15), true));
            else if (enabled)
                painter.fillPath(*fill, vertical(inner, p.lightTop, p.lightBottom));
            else
                painter.fillPath(*fill, vertical(inner, darkenBy(p.lightTop, 0.1), darkenBy(p.lightBottom, 0.12)));
        }
        painter.fillRect(QRectF(inner.x(), inner.y(), inner.width(), 1), QColor(255, 255, 255, 26));
    }
    if (imagePosition_ != NoImage && !image_.isNull()) {
        const QSizeF size = image_.deviceIndependentSize();
        double x = imagePosition_ == ImageOnly ? int(std::round((frame.width() - size.width()) / 2)) : 17;
        if (imagePosition_ == ImageLeft && look() != Grey)
            x -= 2;
        const double y = int(std::round((frame.height() - size.height()) / 2));
        painter.save();
        painter.setOpacity(imageFraction());
        painter.drawPixmap(QPointF(x, y), image_);
        painter.restore();
    }
    if (imagePosition_ != ImageOnly && !text().isEmpty()) {
        QFont f = font();
        f.setPixelSize(13);
        painter.setFont(f);
        painter.setPen(titleColor());
        const qreal h = QFontMetricsF(f).height();
        painter.drawText(QRectF(0, (frame.height() - h) / 2 - 1, frame.width(), h), Qt::AlignHCenter | Qt::AlignTop,
                         text());
    }
}

void OVButton::changeEvent(QEvent* event)
{
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::ActivationChange || event->type() == QEvent::EnabledChange)
        update();
}

}  // namespace orv
