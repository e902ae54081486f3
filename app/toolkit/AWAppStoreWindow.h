#pragma once
// A frameless top-level window that lays out its own title bar (any height),
// content and optional bottom bar, with its own close, minimise and zoom
// buttons. Moving and resizing are handed to the window system
// (QWindow::startSystemMove / startSystemResize), so they work under X11 and
// Wayland; a double click on the title bar toggles maximise. Sheets are
// window-modal dialogs placed just under the title bar.
//
// Geometry is in the window's own coordinates (y down): the title bar spans
// y 0..titleBarHeight, the bottom bar the last bottomBarHeight rows, the
// content what is left between them.

#include <QFont>
#include <QGradientStops>
#include <QPointer>
#include <QWidget>
#include <optional>

#include "app/toolkit/AWWindowBackgroundView.h"
#include "app/toolkit/AWWindowButton.h"
#include "app/toolkit/NSShadow+LXExtension.h"

class QDialog;

namespace orv {


// Holds a bar view and moves the window when dragged by its background (a
// press that no control took), once the pointer has moved by the threshold.
class AWMovableByBackgroundContainerView : public QWidget {
    Q_OBJECT
public:
    explicit AWMovableByBackgroundContainerView(QWidget* parent = nullptr);
    double mouseDragDetectionThreshold() const { return threshold_; }
    void setMouseDragDetectionThreshold(double threshold) { threshold_ = threshold; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    enum class Drag { None, Pending, System, Manual };
    Drag drag_ = Drag::None;
    double threshold_ = 1.0;
    QPointF lastGlobal_;
    QPointF accumulated_;
};

class AWAppStoreWindow : public QWidget {
    Q_OBJECT
public:
    // The standard title bar height, and where the buttons go by default.
    static constexpr double kMinimumTitleBarHeight = 22;
    static constexpr double kDefaultTrafficLightButtonsLeftMargin = 8;
    static constexpr double kDefaultTrafficLightSeparation = 6;
    // How close to an edge a press starts a resize.
    static constexpr int kResizeBorder = 4;

    explicit AWAppStoreWindow(QWidget* parent = nullptr);
    ~AWAppStoreWindow() override;

    double titleBarHeight() const { return titleBarHeight_; }
    // Same value: nothing. With `adjustWindowFrame` the window grows or shrinks
    // at the bottom so the content keeps its height and the top edge stays.
    void setTitleBarHeight(double height, bool adjustWindowFrame = true);
    double bottomBarHeight() const { return bottomBarHeight_; }
    void setBottomBarHeight(double height);

    QWidget* titleBarView() const { return titleBarView_; }
    QWidget* bottomBarView() const { return bottomBarView_; }
    // The window takes the view; the previous one is deleted. Null is ignored.
    void setTitleBarView(QWidget* view);
    void setBottomBarView(QWidget* view);
    QWidget* titleBarContainer() const { return titleContainer_; }
    QWidget* bottomBarContainer() const { return bottomContainer_; }

    QWidget* contentView() const { return contentView_; }
    // The window takes the view; the previous one is deleted.
    void setContentView(QWidget* view);
    QRect contentViewFrame() const;

    bool centerTrafficLightButtons() const { return centerTrafficLightButtons_; }
    void setCenterTrafficLightButtons(bool on) { setAndLayout(centerTrafficLightButtons_, on); }
    bool verticalTrafficLightButtons() const { return verticalTrafficLightButtons_; }
    void setVerticalTrafficLightButtons(bool on) { setAndLayout(verticalTrafficLightButtons_, on); }
    bool centerFullScreenButton() const { return centerFullScreenButton_; }
    void setCenterFullScreenButton(bool on) { setAndLayout(centerFullScreenButton_, on); }
    bool verticallyCenterTitle() const { return verticallyCenterTitle_; }
    void setVerticallyCenterTitle(bool on) { setAndRedraw(verticallyCenterTitle_, on); }
    bool hideTitleBarInFullScreen() const { return hideTitleBarInFullScreen_; }
    void setHideTitleBarInFullScreen(bool on) { hideTitleBarInFullScreen_ = on; }
    bool showsBaselineSeparator() const { return showsBaselineSeparator_; }
    void setShowsBaselineSeparator(bool on) { setAndRedraw(showsBaselineSeparator_, on); }
    bool showsBottomBarSeparator() const { return showsBottomBarSeparator_; }
    void setShowsBottomBarSeparator(bool on) { setAndRedraw(showsBottomBarSeparator_, on); }
    bool showsTitle() const { return showsTitle_; }
    void setShowsTitle(bool on) { setAndRedraw(showsTitle_, on); }
    bool showsTitleInFullscreen() const { return showsTitleInFullscreen_; }
    void setShowsTitleInFullscreen(bool on) { showsTitleInFullscreen_ = on; }

    double trafficLightButtonsLeftMargin() const { return leftMargin_; }
    void setTrafficLightButtonsLeftMargin(double margin) { setAndLayout(leftMargin_, margin); }
    double trafficLightButtonsTopMargin() const { return topMargin_; }
    void setTrafficLightButtonsTopMargin(double margin) { topMargin_ = margin; }
    double trafficLightSeparation() const { return separation_; }
    void setTrafficLightSeparation(double separation) { setAndLayout(separation_, separation); }
    double fullScreenButtonRightMargin() const { return fullScreenRightMargin_; }
    void setFullScreenButtonRightMargin(double margin) { setAndLayout(fullScreenRightMargin_, margin); }
    double fullScreenButtonTopMargin() const { return fullScreenTopMargin_; }
    void setFullScreenButtonTopMargin(double margin) { fullScreenTopMargin_ = margin; }
    double mouseDragDetectionThreshold() const;
    void setMouseDragDetectionThreshold(double threshold);

    // The window's buttons. A replacement is wired to the same action; the
    // previous one is deleted. Null removes the button.
    AWWindowButton* closeButton() const { return closeButton_; }
    AWWindowButton* minimizeButton() const { return minimizeButton_; }
    AWWindowButton* zoomButton() const { return zoomButton_; }
    AWWindowButton* fullScreenButton() const { return fullScreenButton_; }
    void setCloseButton(AWWindowButton* button);
    void setMinimizeButton(AWWindowButton* button);
    void setZoomButton(AWWindowButton* button);
    void setFullScreenButton(AWWindowButton* button);

    // Title and bar looks; unset ones use AWWindowBackgroundView's defaults.
    std::optional<QFont> titleFont;
    QColor titleTextColor, inactiveTitleTextColor;
    std::optional<Shadow> titleTextShadow, inactiveTitleTextShadow;
    QGradientStops titleBarGradient, inactiveTitleBarGradient, bottomBarGradient, inactiveBottomBarGradient;
    QColor baselineSeparatorColor, inactiveBaselineSeparatorColor;
    BarDrawingBlock titleBarDrawingBlock, bottomBarDrawingBlock;

    bool isFullScreenNow() const { return windowState() & Qt::WindowFullScreen; }
    void toggleMaximized();
    void toggleFullScreen();

    // Where a sheet of that size goes: centred, its top at the title bar's bottom.
    QRect sheetRect(const QSize& sheetSize) const;
    // Shows `sheet` window-modal, placed by sheetRect; the window becomes its parent.
    void beginSheet(QDialog* sheet);

    // The edges a press at `pos` resizes; none when maximised or full screen.
    Qt::Edges resizeEdgesAt(const QPoint& pos) const;

    // Hands a move or a resize to the window system; false when it cannot
    // (the caller then moves by hand, or not at all).
    virtual bool startSystemMove();
    virtual bool startSystemResize(Qt::Edges edges);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    template <typename T>
    void setAndLayout(T& field, T value)
    {
        if (field == value)
            return;
        field = value;
        layoutTrafficLightsAndContent();
    }
    void setAndRedraw(bool& field, bool value);
    void layoutTrafficLightsAndContent();
    void replaceButton(QPointer<AWWindowButton>& slot, AWWindowButton* button, void (AWAppStoreWindow::*action)());
    void updateBars();
    void resetButtonCaptures();
    void closeFromButton();
    void minimizeFromButton();

    double titleBarHeight_ = kMinimumTitleBarHeight;
    double cachedTitleBarHeight_ = kMinimumTitleBarHeight;
    double bottomBarHeight_ = 0;
    bool centerTrafficLightButtons_ = true;
    bool verticalTrafficLightButtons_ = false;
    bool centerFullScreenButton_ = false;
    bool verticallyCenterTitle_ = false;
    bool hideTitleBarInFullScreen_ = false;
    bool showsBaselineSeparator_ = true;
    bool showsBottomBarSeparator_ = true;
    bool showsTitle_ = false;
    bool showsTitleInFullscreen_ = false;
    double leftMargin_ = kDefaultTrafficLightButtonsLeftMargin;
    double topMargin_ = 3;
    double separation_ = kDefaultTrafficLightSeparation;
    double fullScreenRightMargin_ = 8;
    double fullScreenTopMargin_ = 3;

    AWMovableByBackgroundContainerView* titleContainer_ = nullptr;
    AWMovableByBackgroundContainerView* bottomContainer_ = nullptr;
    QPointer<QWidget> titleBarView_, bottomBarView_, contentView_;
    QPointer<AWWindowButton> closeButton_, minimizeButton_, zoomButton_, fullScreenButton_;
    bool cursorSet_ = false;
};

}  // namespace orv
