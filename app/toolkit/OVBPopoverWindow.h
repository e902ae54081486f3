#pragma once
// The frameless, transparent top-level window of an arrowed popover: its
// outline (OVBPopoverWindowFrame) fills it and the popover's content sits
// inside the outline. Changing a value that moves the arrow or resizes the
// window keeps the arrow tip on the same screen point.

#include <QPointer>
#include <QWidget>

#include "app/toolkit/OVBPopoverWindowFrame.h"

namespace orv {

class OVBPopoverWindow : public QWidget {
    Q_OBJECT
public:
    // Takes ownership of `content` (may be null).
    explicit OVBPopoverWindow(QWidget* content = nullptr);

    QWidget* contentView() const { return content_; }
    // Sizes the window around `view`'s current size and puts the view in the
    // outline. The window owns the view; a previous one is deleted.
    void setContentView(QWidget* view);
    // Resizes the window so its content gets `size`.
    void setContentSize(const QSize& size);
    OVBPopoverWindowFrame* popoverWindowFrame() const { return frame_; }

    QRectF contentRectForFrameRect(const QRectF& frame) const { return frame_->contentRectForFrameRect(frame); }
    QRectF frameRectForContentRect(const QRectF& content) const { return frame_->frameRectForContentRect(content); }

    // Where the arrow points, in screen coordinates.
    QPointF attachmentScreenPoint() const;
    // Moves the window so the arrow points at `screenPoint`; size and position stay.
    void placeAttachmentAt(const QPointF& screenPoint);

    unsigned popoverPosition() const { return frame_->popoverPosition(); }
    void setPopoverPosition(unsigned position);
    double distance() const { return frame_->distance(); }
    void setDistance(double distance);
    double arrowHeight() const { return frame_->arrowHeight(); }
    void setArrowHeight(double height);
    double borderWidth() const { return frame_->borderWidth(); }
    void setBorderWidth(double width);
    double viewMargin() const { return frame_->viewMargin(); }
    void setViewMargin(double margin);
    double arrowWidth() const { return frame_->arrowWidth(); }
    void setArrowWidth(double width);
    double cornerRadius() const { return frame_->cornerRadius(); }
    void setCornerRadius(double radius);
    bool drawRoundCornerBesideArrow() const { return frame_->drawRoundCornerBesideArrow(); }
    void setDrawRoundCornerBesideArrow(bool round);
    bool drawsArrow() const { return frame_->drawsArrow(); }
    void setDrawsArrow(bool draws);
    QColor borderColor() const { return frame_->borderColor(); }
    void setBorderColor(const QColor& color);
    QColor popoverBackgroundColor() const { return frame_->backgroundColor(); }
    void setPopoverBackgroundColor(const QColor& color);
    bool isMovable() const { return frame_->isMovable(); }
    void setMovable(bool movable) { frame_->setMovable(movable); }
    bool isResizable() const { return frame_->isResizable(); }
    void setResizable(bool resizable) { frame_->setResizable(resizable); }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    template <typename Change>
    void changeKeepingAttachment(Change change);
    QSize frameSizeForContent(const QSizeF& content) const;
    void layoutContent();

    OVBPopoverWindowFrame* frame_;
    QPointer<QWidget> content_;
};

}  // namespace orv
