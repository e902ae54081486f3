#include "app/toolkit/OVSegButton.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "app/toolkit/NSBezierPath+LXExtension.h"
#include "app/toolkit/NSColor+LXExtension.h"
#include "app/toolkit/NSShadow+LXExtension.h"

namespace orv {

OVSegButton::OVSegButton(QWidget* parent) : QWidget(parent) { setFocusPolicy(Qt::StrongFocus); }

void OVSegButton::setSegmentCount(int count)
{
    segments_.resize(size_t(std::max(count, 0)));
    if (selected_ >= count)
        selected_ = -1;
    updateGeometry();
    update();
}

QString OVSegButton::labelForSegment(int segment) const
{
    return segment >= 0 && segment < segmentCount() ? segments_[size_t(segment)].label : QString();
}

void OVSegButton::setLabel(const QString& label, int segment)
{
    if (segment < 0 || segment >= segmentCount())
        return;
    segments_[size_t(segment)].label = label;
    updateGeometry();
    update();
}

QPixmap OVSegButton::imageForSegment(int segment) const
{
    return segment >= 0 && segment < segmentCount() ? segments_[size_t(segment)].image : QPixmap();
}

void OVSegButton::setImage(const QPixmap& image, int segment)
{
    if (segment < 0 || segment >= segmentCount())
        return;
    segments_[size_t(segment)].image = image;
    updateGeometry();
    update();
}

void OVSegButton::setSelectedSegment(int segment)
{
    selected_ = segment >= 0 && segment < segmentCount() ? segment : -1;
    update();
}

QFont OVSegButton::labelFont() const
{
    QFont f = font();
    f.setPixelSize(13);
    return f;
}

QSize OVSegButton::sizeForLabel(const QString& label) const
{
    const QFontMetrics metrics(labelFont());
    return QSize(metrics.horizontalAdvance(label), metrics.height());
}

QSize OVSegButton::sizeHint() const
{
    int width = 4;
    for (int i = 0; i < segmentCount(); ++i) {
        const Segment& s = segments_[size_t(i)];
        width += int(s.image.deviceIndependentSize().width()) + (s.label.isEmpty() ? 0 : sizeForLabel(s.label).width()) + 20;
    }
    return QSize(width, 26);
}

QRect OVSegButton::rectForSegment(int segment) const
{
    if (segment < 0 || segment >= segmentCount())
        return QRect();
    const int innerX = 2, innerWidth = width() - 4;
    std::vector<float> natural;
    float total = 0;
    for (const Segment& s : segments_) {
        const float w = float(s.image.deviceIndependentSize().width()) +
                        float(s.label.isEmpty() ? 0 : sizeForLabel(s.label).width()) + 20;
        natural.push_back(w);
        total += w;
    }
    int x = innerX;
    for (int i = 0;; ++i) {
        const int w = int(float(natural[size_t(i)] * float(innerWidth)) / total);
        if (i == segment)
            return QRect(x, 2, w, height() - 4);
        x += w;
    }
}

int OVSegButton::segmentAt(const QPoint& pos) const
{
    for (int i = 0; i < segmentCount(); ++i)
        if (rectForSegment(i).contains(pos))
            return i;
    return -1;
}

void OVSegButton::drawSegment(QPainter& painter, int segment, const QRect& frame) const
{
    const Segment& s = segments_[size_t(segment)];
    const bool selected = segment == selected_;
    if (!s.image.isNull()) {
        const bool key = isActiveWindow();
        painter.save();
        painter.setOpacity(key ? (selected ? 1.0 : 0.5) : (selected ? 0.6 : 0.2));
        const QSizeF size = s.image.deviceIndependentSize();
        painter.drawPixmap(QPointF(frame.x() + std::ceil((frame.width() - size.width()) / 2),
                                   frame.y() + std::ceil((frame.height() - size.height()) / 2)),
                           s.image);
        painter.restore();
        return;
    }
    const QColor text = colorWithHex("5b5c62");
    const QSize size = sizeForLabel(s.label);
    const QRect box(frame.x() + (frame.width() - size.width()) / 2, frame.y() + (frame.height() - size.height()) / 2 - 1,
                    size.width(), size.height());
    painter.setFont(labelFont());
    const Shadow shadow = controlTextShadow();
    painter.setPen(shadow.color);
    painter.drawText(box.translated(0, 1), Qt::AlignCenter, s.label);
    painter.setPen(selected || segment == mouseDownOnSegment_ ? darkenBy(text, 0.3) : text);
    painter.drawText(box, Qt::AlignCenter, s.label);
}

void OVSegButton::paintEvent(QPaintEvent*)
{
    if (segments_.empty())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool enabled = isEnabled();
    const QColor border = colorWithHex(enabled ? "c4c4c4" : "c0c0c0");
    int total = 0;
    for (int i = 0; i < segmentCount(); ++i)
        total += rectForSegment(i).width();
    const QRectF outline(2, 2, total, height() - 4);
    const auto outer = bezierPathWithRoundedRect(outline, float(cornerRadius_));
    if (!outer)
        return;
    QLinearGradient gradient(outline.topLeft(), outline.bottomLeft());
    gradient.setColorAt(0, colorWithHex(enabled ? "fefefe" : "e3e3e3"));
    gradient.setColorAt(1, colorWithHex(enabled ? "f3f3f3" : "eeeeee"));
    painter.fillPath(*outer, gradient);
    painter.setPen(QPen(border, 1));
    strokeInside(painter, *outer);
    if (const auto inner = bezierPathWithRoundedRect(outline.adjusted(1, 1, -1, -1), float(cornerRadius_))) {
        painter.setPen(QPen(QColor(255, 255, 255, 61), 1));
        strokeInside(painter, *inner);
    }
    for (int i = 0; i < segmentCount(); ++i) {
        const QRect r = rectForSegment(i);
        if (i + 1 < segmentCount())
            painter.fillRect(QRect(r.x() + r.width(), r.y(), 1, r.height()), border);
        drawSegment(painter, i, r);
    }
    for (int i = 0; i < segmentCount(); ++i) {
        if (i != mouseDownOnSegment_ && i != selected_)
            continue;
        const QRect r = rectForSegment(i);
        const float radius = float(cornerRadius_);
        std::optional<QPainterPath> shape;
        if (segmentCount() == 1)
            shape = bezierPathWithRoundedRect(r, radius);
        else if (i == 0)
            shape = bezierPathWithLeftRoundedRect(QRectF(r).adjusted(0, 0, 1, 0), radius);
        else if (i + 1 == segmentCount())
            shape = bezierPathWithRightRoundedRect(r, radius);
        else
            shape = bezierPathWithRoundedRect(QRectF(r).adjusted(0, 0, 1, 0), 0);
        if (!shape)
            continue;
        painter.fillPath(*shape, darkenBy(border, -0.1));
        painter.setPen(QPen(darkenBy(border, 0.085), 1));
        strokeInside(painter, *shape);
        drawSegment(painter, i, r);
    }
}

void OVSegButton::mousePressEvent(QMouseEvent* event)
{
    // A disabled switch must not change the mode behind the owner's back.
    if (!isEnabled() || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    mouseDown_ = true;
    mouseDownOnSegment_ = rect().contains(event->position().toPoint()) ? segmentAt(event->position().toPoint()) : -1;
    update();
}

void OVSegButton::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click: pressed look, but its release does not select again.
    mousePressEvent(event);
    doubleClick_ = true;
}

void OVSegButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (!mouseDown_)
        return;
    mouseDown_ = false;
    const QPoint pos = event->position().toPoint();
    const bool secondClick = doubleClick_;
    doubleClick_ = false;
    if (rect().contains(pos) && isEnabled()) {
        const int segment = segmentAt(pos);
        if (segment >= 0 && !secondClick) {
            setSelectedSegment(segment);
            emit activated(segment);
        }
    }
    mouseDownOnSegment_ = -1;
    update();
}

void OVSegButton::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange || event->type() == QEvent::EnabledChange)
        update();
}

}  // namespace orv
