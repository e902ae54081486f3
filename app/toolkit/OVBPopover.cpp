#include "app/toolkit/OVBPopover.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPropertyAnimation>
#include <QScreen>
#include <QWindow>

namespace orv {

namespace {
constexpr int kFadeMs = 250;
}

OVBPopover::OVBPopover(QWidget* content, QObject* parent)
    : QObject(parent), window_(std::make_unique<OVBPopoverWindow>(content))
{
    if (content)
        window_->popoverWindowFrame()->setContentMinimumSize(QSizeF(content->size()));
    fade_ = new QPropertyAnimation(window_.get(), "windowOpacity", this);
    fade_->setDuration(kFadeMs);
    connect(fade_, &QPropertyAnimation::finished, this, &OVBPopover::fadeFinished);
    window_->installEventFilter(this);
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (closesOnInactive_ && state != Qt::ApplicationActive)
            closePopover();
    });
}

OVBPopover::~OVBPopover()
{
    // The window goes first, while everything its last events reach still exists.
    fade_->stop();
    window_->removeEventFilter(this);
    if (parentWindow_)
        parentWindow_->removeEventFilter(this);
    window_.reset();
}

bool OVBPopover::isVisible() const
{
    return window_->isVisible();
}

bool OVBPopover::fadingOut() const
{
    return fade_->state() == QAbstractAnimation::Running && fade_->endValue().toDouble() == 0.0;
}

QPointF OVBPopover::anchorPoint(const QRectF& anchor, unsigned position)
{
    const QPointF c = anchor.center();
    switch (OVBPopoverWindowFrame::arrowSide(position)) {
    case OVBPopoverWindowFrame::ArrowSide::Right: return {anchor.left(), c.y()};    // popover on the left
    case OVBPopoverWindowFrame::ArrowSide::Top: return {c.x(), anchor.bottom()};    // popover below
    case OVBPopoverWindowFrame::ArrowSide::Left: return {anchor.right(), c.y()};    // popover on the right
    case OVBPopoverWindowFrame::ArrowSide::Bottom: return {c.x(), anchor.top()};    // popover above
    case OVBPopoverWindowFrame::ArrowSide::None: break;
    }
    return c;
}

QRectF OVBPopover::screenAnchor(const QRect& anchorRect, QWidget* anchor) const
{
    if (!anchor)
        return QRectF(anchorRect);
    return QRectF(QRect(anchor->mapToGlobal(anchorRect.topLeft()), anchorRect.size()));
}

unsigned OVBPopover::bestPositionForAnchor(const QRect& anchorRect, QWidget* anchor) const
{
    const QRectF screenRect = screenAnchor(anchorRect, anchor);
    QScreen* screen = anchor ? anchor->screen() : QGuiApplication::screenAt(screenRect.center().toPoint());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRectF area = screen ? QRectF(screen->availableGeometry()) : QRectF();
    const QRectF windowArea = anchor ? QRectF(anchor->window()->frameGeometry()) : QRectF();
    return bestPosition(screenRect, area, windowArea);
}

unsigned OVBPopover::bestPosition(const QRectF& anchor, const QRectF& S, const QRectF& windowArea) const
{
    const double margin = window_->viewMargin();
    const double W = window_->width() + 2 * margin;
    const double H = window_->height() + 2 * margin;
    const double reach = window_->distance() + window_->arrowHeight();
    // How far a corner-side arrow's tip sits from its corner.
    const double A = window_->popoverWindowFrame()->arrowCornerOffset();
    const QRectF R = windowArea.isEmpty() ? S : windowArea.intersected(S);
    const QPointF mid = anchor.center();

    unsigned side;
    if (anchor.bottom() + H + reach <= S.bottom())
        side = OVBPopoverBelow;
    else if (anchor.right() + W + reach < S.right())
        side = OVBPopoverRight;
    else if (anchor.left() - W - reach >= S.left())
        side = OVBPopoverLeft;
    else if (anchor.top() - H - reach > S.top())
        side = OVBPopoverAbove;
    else
        side = OVBPopoverBelow;

    if (side == OVBPopoverLeft || side == OVBPopoverRight) {
        const double y = mid.y();
        const bool left = side == OVBPopoverLeft;
        if (y + H / 2 > R.bottom()) {
            // Centred, it would hang below the window: grow upwards instead.
            if (S.top() < y - H + A)
                return left ? OVBPopoverLeftExtendingUp : OVBPopoverRightExtendingUp;
        } else if (y - H / 2 <= R.top() && y + H - A <= S.bottom()) {
            return left ? OVBPopoverLeftExtendingDown : OVBPopoverRightExtendingDown;
        }
        return side;
    }
    const double x = mid.x();
    const bool below = side == OVBPopoverBelow;
    if (R.left() > x - W / 2) {
        // Centred, it would stick out left of the window: grow to the right.
        if (S.right() > x + W - A)
            return below ? OVBPopoverBelowExtendingRight : OVBPopoverAboveExtendingRight;
    } else if (x + W / 2 >= R.right() && x - W + A >= S.left()) {
        return below ? OVBPopoverBelowExtendingLeft : OVBPopoverAboveExtendingLeft;
    }
    return side;
}

void OVBPopover::showRelativeTo(const QRect& anchorRect, QWidget* anchor, bool chooseBestLocation)
{
    if (window_->isVisible() && !fadingOut())
        return;
    fade_->stop();
    if (chooseBestLocation)
        window_->setPopoverPosition(bestPositionForAnchor(anchorRect, anchor));
    anchor_ = anchor;
    window_->placeAttachmentAt(anchorPoint(screenAnchor(anchorRect, anchor), window_->popoverPosition()));
    attachTo(anchor ? anchor->window() : nullptr);
    if (animates_ && !window_->isVisible())
        window_->setWindowOpacity(0);
    window_->show();
    window_->raise();
    window_->activateWindow();
    if (animates_)
        fadeTo(1);
    else if (window_->windowOpacity() != 1.0)
        window_->setWindowOpacity(1);
}

void OVBPopover::displayPopoverAtPoint(QWidget* anchor, const QPoint& point, bool chooseBestLocation)
{
    showRelativeTo(QRect(point, QSize(0, 0)), anchor, chooseBestLocation);
}

void OVBPopover::moveToAnchorRect(const QRect& anchorRect)
{
    window_->placeAttachmentAt(anchorPoint(screenAnchor(anchorRect, anchor_), window_->popoverPosition()));
}

// Like a child window: stays above its parent, moves with it and hides with it.
void OVBPopover::attachTo(QWidget* parentWindow)
{
    if (parentWindow_)
        parentWindow_->removeEventFilter(this);
    parentWindow_ = parentWindow;
    window_->winId();  // makes the native window, so it can take a transient parent
    QWindow* transientParent = nullptr;
    if (parentWindow) {
        parentWindow->installEventFilter(this);
        parentPos_ = parentWindow->pos();
        parentWindow->winId();
        transientParent = parentWindow->windowHandle();
    }
    window_->windowHandle()->setTransientParent(transientParent);
}

void OVBPopover::closePopover()
{
    if (!window_->isVisible() || fadingOut())
        return;
    if (animates_)
        fadeTo(0);
    else
        orderOut();
}

void OVBPopover::fadeTo(double opacity)
{
    fade_->stop();
    fade_->setStartValue(window_->windowOpacity());
    fade_->setEndValue(opacity);
    fade_->start();
}

void OVBPopover::fadeFinished()
{
    // Only the end of a fade-out hides; the end of a fade-in changes nothing.
    if (fade_->endValue().toDouble() == 0.0 && window_->windowOpacity() == 0.0)
        orderOut();
}

void OVBPopover::orderOut()
{
    fade_->stop();
    window_->hide();
    if (window_->windowOpacity() != 1.0)
        window_->setWindowOpacity(1);
    if (window_->windowHandle())
        window_->windowHandle()->setTransientParent(nullptr);
    if (parentWindow_)
        parentWindow_->removeEventFilter(this);
    parentWindow_ = nullptr;
}

bool OVBPopover::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window_.get()) {
        if (event->type() == QEvent::WindowDeactivate && closesOnResignKey_)
            closePopover();
    } else if (watched == parentWindow_ && window_->isVisible()) {
        if (event->type() == QEvent::Move) {
            const QPoint now = parentWindow_->pos();
            window_->move(window_->pos() + now - parentPos_);
            parentPos_ = now;
        } else if (event->type() == QEvent::Hide) {
            orderOut();
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace orv
