#include "app/toolkit/AWWindowButton.h"

#include <QEnterEvent>
#include <QPainter>
#include <QPainterPath>

#include "app/toolkit/AWWindowButtonGroup.h"
#include "app/toolkit/NSColor+LXExtension.h"

namespace orv {

namespace {

constexpr int kStandardSide = 14;

QPixmap disc(const QColor& fill, const QColor& rim, AWWindowButton::Kind kind, const QColor& glyph)
{
    const qreal ratio = 2;  // drawn at twice the size so it stays crisp on dense screens
    QPixmap image(QSize(kStandardSide, kStandardSide) * ratio);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(rim, 1));
    painter.setBrush(fill);
    painter.drawEllipse(QRectF(0.5, 0.5, kStandardSide - 1, kStandardSide - 1));
    if (glyph.isValid()) {
        painter.setPen(QPen(glyph, 1.3, Qt::SolidLine, Qt::RoundCap));
        const qreal c = kStandardSide / 2.0, a = 3.2;
        switch (kind) {
        case AWWindowButton::Close:
            painter.drawLine(QPointF(c - a, c - a), QPointF(c + a, c + a));
            painter.drawLine(QPointF(c - a, c + a), QPointF(c + a, c - a));
            break;
        case AWWindowButton::Minimize:
            painter.drawLine(QPointF(c - a - 0.5, c), QPointF(c + a + 0.5, c));
            break;
        case AWWindowButton::Zoom:
        case AWWindowButton::FullScreen:
            painter.drawLine(QPointF(c - a - 0.5, c), QPointF(c + a + 0.5, c));
            painter.drawLine(QPointF(c, c - a - 0.5), QPointF(c, c + a + 0.5));
            break;
        }
    }
    return image;
}

QColor kindColor(AWWindowButton::Kind kind)
{
    switch (kind) {
    case AWWindowButton::Close:
        return colorWithHex("fc605c");
    case AWWindowButton::Minimize:
        return colorWithHex("fdbc40");
    default:
        return colorWithHex("34c84a");
    }
}

}  // namespace

AWWindowButton::AWWindowButton(const QSize& size, const QString& groupIdentifier, QWidget* parent)
    : QAbstractButton(parent), groupIdentifier_(groupIdentifier), fixedSize_(size)
{
    setFixedSize(size);
    setFocusPolicy(Qt::NoFocus);
    connect(group(), &AWWindowButtonGroup::didUpdateRolloverState, this, qOverload<>(&QWidget::update));
}

AWWindowButton::~AWWindowButton()
{
    if (holdsPointer_)
        group()->didReleaseMousePointer();
}

AWWindowButton* AWWindowButton::windowButtonWithSize(const QSize& size, const QString& groupIdentifier,
                                                     QWidget* parent)
{
    return new AWWindowButton(size, groupIdentifier, parent);
}

AWWindowButton* AWWindowButton::standardButton(Kind kind, QWidget* parent)
{
    auto* button = new AWWindowButton(QSize(kStandardSide, kStandardSide), QString(), parent);
    const QColor color = kindColor(kind);
    const QColor rim = darkenBy(color, 0.12);
    const QColor glyph = darkenBy(color, 0.55);
    button->setActiveImage(disc(color, rim, kind, QColor()));
    button->setRolloverImage(disc(color, rim, kind, glyph));
    button->setPressedImage(disc(darkenBy(color, 0.15), darkenBy(color, 0.3), kind, glyph));
    button->setActiveNotKeyWindowImage(disc(QColor(220, 220, 220), QColor(196, 196, 196), kind, QColor()));
    button->setInactiveImage(disc(QColor(232, 232, 232), QColor(210, 210, 210), kind, QColor()));
    static const char* const names[] = {"Close", "Minimize", "Zoom", "Full Screen"};
    button->setAccessibleName(QString::fromLatin1(names[kind]));
    button->setToolTip(button->accessibleName());
    return button;
}

AWWindowButtonGroup* AWWindowButton::group() const { return AWWindowButtonGroup::groupWithIdentifier(groupIdentifier_); }

QPixmap AWWindowButton::currentImage() const
{
    if (isDown() && !pressedImage_.isNull())
        return pressedImage_;
    if (group()->shouldDisplayRollOver() && isEnabled())
        return rolloverImage_;
    if (!isActiveWindow())
        return activeNotKeyWindowImage_;
    return isEnabled() ? activeImage_ : inactiveImage_;
}

void AWWindowButton::paintEvent(QPaintEvent*)
{
    const QPixmap image = currentImage();
    if (image.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(rect(), image);
}

void AWWindowButton::enterEvent(QEnterEvent* event)
{
    QAbstractButton::enterEvent(event);
    if (!holdsPointer_) {
        holdsPointer_ = true;
        group()->didCaptureMousePointer();
    }
    update();
}

void AWWindowButton::leaveEvent(QEvent* event)
{
    QAbstractButton::leaveEvent(event);
    if (holdsPointer_) {
        holdsPointer_ = false;
        group()->didReleaseMousePointer();
    }
    update();
}

void AWWindowButton::hideEvent(QHideEvent* event)
{
    // A button that vanishes under the pointer gets no leave event.
    if (holdsPointer_) {
        holdsPointer_ = false;
        group()->didReleaseMousePointer();
    }
    QAbstractButton::hideEvent(event);
}

void AWWindowButton::changeEvent(QEvent* event)
{
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::ActivationChange || event->type() == QEvent::EnabledChange)
        update();
}

}  // namespace orv
