#include "app/toolkit/AWAppStoreWindow.h"

#include <QApplication>
#include <QDialog>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>
#include <cmath>

#include "app/toolkit/AWWindowButton.h"
#include "app/toolkit/AWWindowButtonGroup.h"

namespace orv {

namespace {

// Halves away from zero, as the button placement has always rounded.
int roundHalfAway(double value) { return int(std::round(value)); }

}  // namespace

AWMovableByBackgroundContainerView::AWMovableByBackgroundContainerView(QWidget* parent) : QWidget(parent) {}

void AWMovableByBackgroundContainerView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    drag_ = Drag::Pending;
    lastGlobal_ = event->globalPosition();
    accumulated_ = {};
    event->accept();
}

void AWMovableByBackgroundContainerView::mouseMoveEvent(QMouseEvent* event)
{
    if (drag_ == Drag::None || drag_ == Drag::System || !(event->buttons() & Qt::LeftButton))
        return;
    accumulated_ += event->globalPosition() - lastGlobal_;
    lastGlobal_ = event->globalPosition();
    if (std::abs(accumulated_.x()) < threshold_ && std::abs(accumulated_.y()) < threshold_)
        return;
    if (drag_ == Drag::Pending) {
        auto* owner = qobject_cast<AWAppStoreWindow*>(window());
        if (owner && owner->startSystemMove()) {
            drag_ = Drag::System;
            return;
        }
        drag_ = Drag::Manual;
    }
    // Without the window system's help (it said no), move by hand.
    window()->move(window()->pos() + accumulated_.toPoint());
    accumulated_ = {};
}

void AWMovableByBackgroundContainerView::mouseReleaseEvent(QMouseEvent* event)
{
    drag_ = Drag::None;
    event->accept();
}

AWAppStoreWindow::AWAppStoreWindow(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setMouseTracking(true);
    titleContainer_ = new AWMovableByBackgroundContainerView(this);
    bottomContainer_ = new AWMovableByBackgroundContainerView(this);
    setTitleBarView(new AWTitlebarView);
    setBottomBarView(new AWBottomBarView);
    setContentView(new QWidget);
    setCloseButton(AWWindowButton::standardButton(AWWindowButton::Close));
    setMinimizeButton(AWWindowButton::standardButton(AWWindowButton::Minimize));
    setZoomButton(AWWindowButton::standardButton(AWWindowButton::Zoom));
    qApp->installEventFilter(this);
    resize(640, 480);
    layoutTrafficLightsAndContent();
}

AWAppStoreWindow::~AWAppStoreWindow() = default;

void AWAppStoreWindow::setTitleBarHeight(double height, bool adjustWindowFrame)
{
    if (height == titleBarHeight_)
        return;
    const double difference = height - titleBarHeight_;
    titleBarHeight_ = height;
    cachedTitleBarHeight_ = height;
    if (adjustWindowFrame)
        resize(width(), int(std::lround(this->height() + difference)));
    layoutTrafficLightsAndContent();
    if (titleBarView_)
        titleBarView_->update();
}

void AWAppStoreWindow::setBottomBarHeight(double height)
{
    if (height == bottomBarHeight_)
        return;
    bottomBarHeight_ = height;
    layoutTrafficLightsAndContent();
}

namespace {

void adopt(QPointer<QWidget>& slot, QWidget* view, QWidget* container)
{
    if (!view || view == slot)
        return;
    delete slot.data();
    slot = view;
    view->setParent(container);
    view->setGeometry(container->rect());
    view->lower();
    view->show();
}

}  // namespace

void AWAppStoreWindow::setTitleBarView(QWidget* view)
{
    adopt(titleBarView_, view, titleContainer_);
    layoutTrafficLightsAndContent();
}

void AWAppStoreWindow::setBottomBarView(QWidget* view)
{
    adopt(bottomBarView_, view, bottomContainer_);
    layoutTrafficLightsAndContent();
}

void AWAppStoreWindow::setContentView(QWidget* view)
{
    if (view == contentView_)
        return;
    delete contentView_.data();
    contentView_ = view;
    if (view) {
        view->setParent(this);
        view->show();
    }
    layoutTrafficLightsAndContent();
}

QRect AWAppStoreWindow::contentViewFrame() const
{
    const bool hideTitle = isFullScreenNow() && hideTitleBarInFullScreen_;
    const double top = hideTitle ? 0 : titleBarHeight_;
    return QRect(0, int(top), width(), int(height() - top - bottomBarHeight_));
}

double AWAppStoreWindow::mouseDragDetectionThreshold() const { return titleContainer_->mouseDragDetectionThreshold(); }

void AWAppStoreWindow::setMouseDragDetectionThreshold(double threshold)
{
    titleContainer_->setMouseDragDetectionThreshold(threshold);
    bottomContainer_->setMouseDragDetectionThreshold(threshold);
}

void AWAppStoreWindow::replaceButton(QPointer<AWWindowButton>& slot, AWWindowButton* button,
                                     void (AWAppStoreWindow::*action)())
{
    if (button == slot)
        return;
    delete slot.data();
    slot = button;
    if (button) {
        button->setParent(titleContainer_);
        connect(button, &QAbstractButton::clicked, this, action);
        button->show();
        button->raise();
    }
    layoutTrafficLightsAndContent();
}

void AWAppStoreWindow::setCloseButton(AWWindowButton* button)
{
    replaceButton(closeButton_, button, &AWAppStoreWindow::closeFromButton);
}

void AWAppStoreWindow::setMinimizeButton(AWWindowButton* button)
{
    replaceButton(minimizeButton_, button, &AWAppStoreWindow::minimizeFromButton);
}

void AWAppStoreWindow::setZoomButton(AWWindowButton* button)
{
    replaceButton(zoomButton_, button, &AWAppStoreWindow::toggleMaximized);
}

void AWAppStoreWindow::setFullScreenButton(AWWindowButton* button)
{
    replaceButton(fullScreenButton_, button, &AWAppStoreWindow::toggleFullScreen);
}

void AWAppStoreWindow::closeFromButton() { close(); }
void AWAppStoreWindow::minimizeFromButton() { showMinimized(); }

void AWAppStoreWindow::toggleMaximized()
{
    if (windowState() & Qt::WindowMaximized)
        showNormal();
    else
        showMaximized();
}

void AWAppStoreWindow::toggleFullScreen()
{
    if (isFullScreenNow())
        showNormal();
    else
        showFullScreen();
}

QRect AWAppStoreWindow::sheetRect(const QSize& sheetSize) const
{
    return QRect(QPoint((width() - sheetSize.width()) / 2, int(titleBarHeight_)), sheetSize);
}

void AWAppStoreWindow::beginSheet(QDialog* sheet)
{
    if (!sheet)
        return;
    if (sheet->parentWidget() != this)
        sheet->setParent(this, sheet->windowFlags() | Qt::Dialog);
    sheet->setWindowModality(Qt::WindowModal);
    sheet->adjustSize();
    const QRect place = sheetRect(sheet->size());
    sheet->move(mapToGlobal(place.topLeft()));
    sheet->open();
}

Qt::Edges AWAppStoreWindow::resizeEdgesAt(const QPoint& pos) const
{
    if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return {};
    Qt::Edges edges;
    if (pos.x() < kResizeBorder)
        edges |= Qt::LeftEdge;
    if (pos.x() >= width() - kResizeBorder)
        edges |= Qt::RightEdge;
    if (pos.y() < kResizeBorder)
        edges |= Qt::TopEdge;
    if (pos.y() >= height() - kResizeBorder)
        edges |= Qt::BottomEdge;
    return edges;
}

bool AWAppStoreWindow::startSystemMove()
{
    QWindow* handle = windowHandle();
    return handle && handle->startSystemMove();
}

bool AWAppStoreWindow::startSystemResize(Qt::Edges edges)
{
    QWindow* handle = windowHandle();
    return handle && handle->startSystemResize(edges);
}

bool AWAppStoreWindow::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this || !widget->isWidgetType())
        return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    const Qt::Edges edges = resizeEdgesAt(mapFromGlobal(mouse->globalPosition().toPoint()));
    if (type == QEvent::MouseButtonPress) {
        if (mouse->button() != Qt::LeftButton || !edges)
            return false;
        startSystemResize(edges);
        return true;
    }
    if (mouse->buttons() != Qt::NoButton)
        return false;
    // Show the resize cursor along the edges.
    if (edges) {
        const bool diagonal = (edges & (Qt::LeftEdge | Qt::RightEdge)) && (edges & (Qt::TopEdge | Qt::BottomEdge));
        Qt::CursorShape shape = (edges & (Qt::LeftEdge | Qt::RightEdge)) ? Qt::SizeHorCursor : Qt::SizeVerCursor;
        if (diagonal)
            shape = (edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge))
                        ? Qt::SizeFDiagCursor
                        : Qt::SizeBDiagCursor;
        setCursor(shape);
        cursorSet_ = true;
    } else if (cursorSet_) {
        unsetCursor();
        cursorSet_ = false;
    }
    return false;
}

void AWAppStoreWindow::setAndRedraw(bool& field, bool value)
{
    if (field == value)
        return;
    field = value;
    updateBars();
}

void AWAppStoreWindow::layoutTrafficLightsAndContent()
{
    const bool hideTitle = isFullScreenNow() && hideTitleBarInFullScreen_;
    const int titleHeight = hideTitle ? 0 : int(titleBarHeight_);
    titleContainer_->setGeometry(0, 0, width(), titleHeight);
    titleContainer_->setVisible(titleHeight > 0);
    bottomContainer_->setGeometry(0, int(height() - bottomBarHeight_), width(), int(bottomBarHeight_));
    bottomContainer_->setVisible(bottomBarHeight_ > 0);
    if (titleBarView_)
        titleBarView_->setGeometry(titleContainer_->rect());
    if (bottomBarView_)
        bottomBarView_->setGeometry(bottomContainer_->rect());

    const double barHeight = titleBarHeight_;
    auto sizeOf = [](AWWindowButton* b) { return b ? QSizeF(b->size()) : QSizeF(0, 0); };
    const QSizeF close = sizeOf(closeButton_), minimize = sizeOf(minimizeButton_), zoom = sizeOf(zoomButton_);
    QPointF closeAt, minimizeAt, zoomAt;
    if (!verticalTrafficLightButtons_) {
        // Centred the way a y-up layout centres, so odd heights round the same way.
        const double y = centerTrafficLightButtons_
                             ? barHeight - close.height() - roundHalfAway(barHeight / 2 - close.height() / 2)
                             : topMargin_;
        closeAt = QPointF(leftMargin_, y);
        minimizeAt = QPointF(closeAt.x() + close.width() + separation_, y);
        zoomAt = QPointF(minimizeAt.x() + minimize.width() + separation_, y);
    } else {
        const double gap = separation_ - 2;
        const double total = close.height() + minimize.height() + zoom.height() + 2 * gap;
        const double top = centerTrafficLightButtons_ ? barHeight - total - roundHalfAway(barHeight / 2 - total / 2)
                                                      : topMargin_;
        closeAt = QPointF(leftMargin_, top);
        minimizeAt = QPointF(leftMargin_, top + close.height() + gap);
        zoomAt = QPointF(leftMargin_, minimizeAt.y() + minimize.height() + gap);
    }
    if (closeButton_)
        closeButton_->move(closeAt.toPoint());
    if (minimizeButton_)
        minimizeButton_->move(minimizeAt.toPoint());
    if (zoomButton_)
        zoomButton_->move(zoomAt.toPoint());
    if (fullScreenButton_) {
        const QSizeF size = sizeOf(fullScreenButton_);
        const double y = centerFullScreenButton_ ? std::floor(barHeight / 2 - size.height() / 2) : fullScreenTopMargin_;
        fullScreenButton_->move(QPointF(width() - size.width() - fullScreenRightMargin_, y).toPoint());
    }
    if (contentView_)
        contentView_->setGeometry(contentViewFrame());
    updateBars();
}

void AWAppStoreWindow::updateBars()
{
    if (titleBarView_) {
        // The title bar's own controls work only in the active window.
        const bool active = isActiveWindow();
        for (QObject* child : titleBarView_->children())
            if (auto* control = qobject_cast<QWidget*>(child); control && !control->isWindow())
                control->setEnabled(active);
        titleBarView_->update();
    }
    if (bottomBarView_)
        bottomBarView_->update();
}

void AWAppStoreWindow::resetButtonCaptures()
{
    for (AWWindowButton* button : {closeButton_.data(), minimizeButton_.data(), zoomButton_.data(),
                                   fullScreenButton_.data()})
        if (button)
            button->group()->resetMouseCaptures();
}

void AWAppStoreWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutTrafficLightsAndContent();
}

void AWAppStoreWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) {
        updateBars();
    } else if (event->type() == QEvent::WindowStateChange) {
        resetButtonCaptures();
        if (fullScreenButton_)
            fullScreenButton_->setVisible(!isFullScreenNow());
        if (!isFullScreenNow())
            titleBarHeight_ = cachedTitleBarHeight_;
        layoutTrafficLightsAndContent();
    }
}

void AWAppStoreWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
}

}  // namespace orv
