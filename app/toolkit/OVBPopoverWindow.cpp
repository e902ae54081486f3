#include "app/toolkit/OVBPopoverWindow.h"

#include <QtMath>

namespace orv {

OVBPopoverWindow::OVBPopoverWindow(QWidget* content)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint), frame_(new OVBPopoverWindowFrame(this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    resize(frameSizeForContent(QSizeF(0, 0)));
    layoutContent();
    setContentView(content);
}

QSize OVBPopoverWindow::frameSizeForContent(const QSizeF& content) const
{
    const QSizeF size = frame_->frameRectForContentRect(QRectF(QPointF(0, 0), content)).size();
    return QSize(qCeil(size.width()), qCeil(size.height()));
}

void OVBPopoverWindow::layoutContent()
{
    frame_->setGeometry(rect());
    if (content_)
        content_->setGeometry(frame_->contentRectForFrameRect(QRectF(rect())).toRect());
}

void OVBPopoverWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutContent();
}

void OVBPopoverWindow::setContentView(QWidget* view)
{
    if (view == content_)
        return;
    if (view)
        resize(frameSizeForContent(QSizeF(view->size())));
    delete content_.data();
    content_ = view;
    if (view) {
        view->setParent(frame_);
        view->show();
    }
    layoutContent();
}

void OVBPopoverWindow::setContentSize(const QSize& size)
{
    resize(frameSizeForContent(QSizeF(size)));
    layoutContent();
}

QPointF OVBPopoverWindow::attachmentScreenPoint() const
{
    return QPointF(geometry().topLeft()) + frame_->attachmentPointForRect(QRectF(QPointF(0, 0), QSizeF(size())));
}

void OVBPopoverWindow::placeAttachmentAt(const QPointF& screenPoint)
{
    const QPointF origin = screenPoint - frame_->attachmentPointForRect(QRectF(QPointF(0, 0), QSizeF(size())));
    setGeometry(QRect(origin.toPoint(), size()));
}

template <typename Change>
void OVBPopoverWindow::changeKeepingAttachment(Change change)
{
    const QPointF tip = attachmentScreenPoint();
    const QSizeF content = frame_->contentRectForFrameRect(QRectF(rect())).size();
    change();
    resize(frameSizeForContent(content));
    layoutContent();
    placeAttachmentAt(tip);
    frame_->update();
}

void OVBPopoverWindow::setPopoverPosition(unsigned position)
{
    if (position != frame_->popoverPosition())
        changeKeepingAttachment([&] { frame_->setPopoverPosition(position); });
}

void OVBPopoverWindow::setDistance(double distance)
{
    if (distance != frame_->distance())
        changeKeepingAttachment([&] { frame_->setDistance(distance); });
}

void OVBPopoverWindow::setArrowHeight(double height)
{
    if (height != frame_->arrowHeight())
        changeKeepingAttachment([&] { frame_->setArrowHeight(height); });
}

void OVBPopoverWindow::setBorderWidth(double width)
{
    if (width != frame_->borderWidth())
        changeKeepingAttachment([&] { frame_->setBorderWidth(width); });
}

void OVBPopoverWindow::setViewMargin(double margin)
{
    if (margin != frame_->viewMargin())
        changeKeepingAttachment([&] { frame_->setViewMargin(margin); });
}

// These leave the size alone but move the tip along a corner-side arrow's
// edge, so the window follows to keep pointing at the same place.
void OVBPopoverWindow::setArrowWidth(double width)
{
    if (width != frame_->arrowWidth())
        changeKeepingAttachment([&] { frame_->setArrowWidth(width); });
}

void OVBPopoverWindow::setCornerRadius(double radius)
{
    if (radius != frame_->cornerRadius())
        changeKeepingAttachment([&] { frame_->setCornerRadius(radius); });
}

void OVBPopoverWindow::setDrawRoundCornerBesideArrow(bool round)
{
    if (round != frame_->drawRoundCornerBesideArrow())
        changeKeepingAttachment([&] { frame_->setDrawRoundCornerBesideArrow(round); });
}

void OVBPopoverWindow::setDrawsArrow(bool draws)
{
    frame_->setDrawsArrow(draws);
    frame_->update();
}

void OVBPopoverWindow::setBorderColor(const QColor& color)
{
    frame_->setBorderColor(color);
    frame_->update();
}

void OVBPopoverWindow::setPopoverBackgroundColor(const QColor& color)
{
    frame_->setBackgroundColor(color);
    frame_->update();
}

}  // namespace orv
