#pragma once
// An arrowed popover: a content widget in a small frameless window whose
// arrow points at an anchor (a rect of a widget, or a screen point). It picks
// a side with room on request, fades in and out, keeps to its anchor's window
// like a child window (moving and hiding with it), and can close itself when
// it stops being the active window or when the application goes inactive.
//
//   auto* popover = new OVBPopover(songList, this);
//   popover->showRelativeTo(albumRect, albumGrid, true);

#include <QObject>
#include <QPointer>
#include <QRect>
#include <memory>

#include "app/toolkit/OVBPopoverWindow.h"

class QPropertyAnimation;

namespace orv {

class OVBPopover : public QObject {
    Q_OBJECT
public:
    // Takes ownership of `content` (may be null); its current size is the
    // popover's content size and the smallest a user resize leaves it.
    explicit OVBPopover(QWidget* content = nullptr, QObject* parent = nullptr);
    ~OVBPopover() override;

    QWidget* contentWidget() const { return window_->contentView(); }
    OVBPopoverWindow* popoverWindow() const { return window_.get(); }

    bool animates() const { return animates_; }  // fade in on show, out on close
    void setAnimates(bool animates) { animates_ = animates; }
    bool closesWhenPopoverResignsKey() const { return closesOnResignKey_; }
    void setClosesWhenPopoverResignsKey(bool closes) { closesOnResignKey_ = closes; }
    bool closesWhenApplicationBecomesInactive() const { return closesOnInactive_; }
    void setClosesWhenApplicationBecomesInactive(bool closes) { closesOnInactive_ = closes; }

    // The look, kept by the window (see OVBPopoverWindowFrame for the defaults).
    unsigned position() const { return window_->popoverPosition(); }
    void setPosition(unsigned position) { window_->setPopoverPosition(position); }
    double distance() const { return window_->distance(); }
    void setDistance(double distance) { window_->setDistance(distance); }
    QColor borderColor() const { return window_->borderColor(); }
    void setBorderColor(const QColor& color) { window_->setBorderColor(color); }
    double borderWidth() const { return window_->borderWidth(); }
    void setBorderWidth(double width) { window_->setBorderWidth(width); }
    double cornerRadius() const { return window_->cornerRadius(); }
    void setCornerRadius(double radius) { window_->setCornerRadius(radius); }
    bool drawsArrow() const { return window_->drawsArrow(); }
    void setDrawsArrow(bool draws) { window_->setDrawsArrow(draws); }
    double arrowWidth() const { return window_->arrowWidth(); }
    void setArrowWidth(double width) { window_->setArrowWidth(width); }
    double arrowHeight() const { return window_->arrowHeight(); }
    void setArrowHeight(double height) { window_->setArrowHeight(height); }
    bool drawRoundCornerBesideArrow() const { return window_->drawRoundCornerBesideArrow(); }
    void setDrawRoundCornerBesideArrow(bool round) { window_->setDrawRoundCornerBesideArrow(round); }
    double viewMargin() const { return window_->viewMargin(); }
    void setViewMargin(double margin) { window_->setViewMargin(margin); }
    QColor backgroundColor() const { return window_->popoverBackgroundColor(); }
    void setBackgroundColor(const QColor& color) { window_->setPopoverBackgroundColor(color); }
    bool isMovable() const { return window_->isMovable(); }
    void setMovable(bool movable) { window_->setMovable(movable); }
    bool isResizable() const { return window_->isResizable(); }
    void setResizable(bool resizable) { window_->setResizable(resizable); }
    bool isVisible() const;

    // Shows the popover with its arrow at `anchorRect` (in `anchor`'s
    // coordinates) from the side its position names; with chooseBestLocation
    // it first takes the position with room. Without an anchor widget the
    // rect is in screen coordinates and the popover belongs to no window.
    // Does nothing while the popover is shown (a fade-out is taken back).
    void showRelativeTo(const QRect& anchorRect, QWidget* anchor, bool chooseBestLocation = false);
    // The same, pointing at one point of `anchor` (or of the screen).
    void displayPopoverAtPoint(QWidget* anchor, const QPoint& point, bool chooseBestLocation = false);
    // Points the arrow at a new rect (or point) of the widget it was shown
    // against (the screen when none); size and position stay.
    void moveToAnchorRect(const QRect& anchorRect);
    void movePopoverToPoint(const QPoint& point) { moveToAnchorRect(QRect(point, QSize(0, 0))); }
    // Hides the popover, fading out when it animates; nothing when hidden.
    void closePopover();

    // The position with room for the popover at `anchorRect` of `anchor`,
    // within the anchor's screen and window.
    unsigned bestPositionForAnchor(const QRect& anchorRect, QWidget* anchor) const;
    // The same from screen geometry: the anchor, the usable screen area and
    // the area of the anchor's window (empty for none).
    unsigned bestPosition(const QRectF& anchor, const QRectF& screenArea, const QRectF& windowArea) const;
    // The point of `anchor` an arrow of `position` points at: the middle of
    // the side the popover lies on.
    static QPointF anchorPoint(const QRectF& anchor, unsigned position);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QRectF screenAnchor(const QRect& anchorRect, QWidget* anchor) const;
    void fadeTo(double opacity);
    void fadeFinished();
    void orderOut();
    bool fadingOut() const;
    void attachTo(QWidget* anchor);

    std::unique_ptr<OVBPopoverWindow> window_;
    QPropertyAnimation* fade_;
    QPointer<QWidget> anchor_;
    QPointer<QWidget> parentWindow_;
    QPoint parentPos_;
    bool animates_ = true;
    bool closesOnResignKey_ = false;
    bool closesOnInactive_ = false;
};

}  // namespace orv
