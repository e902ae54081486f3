#pragma once
// The painted background of AWAppStoreWindow's bars: a vertical gradient, a
// one-pixel separator against the content with a faint highlight inside the
// bar, then the owner's drawing callback. Colours follow the window's state
// (active or not) and its overrides, else the defaults below.

#include <QGradientStops>
#include <QPainterPath>
#include <QWidget>
#include <functional>

namespace orv {

class AWAppStoreWindow;

enum class WindowEdge { Top, Bottom };

// What an owner adds on top of a bar: (draws as active, rect, edge, clip path or empty).
using BarDrawingBlock = std::function<void(QPainter&, bool active, const QRectF& rect, WindowEdge edge,
                                           const QPainterPath& clip)>;

class AWWindowBackgroundView : public QWidget {
    Q_OBJECT
public:
    explicit AWWindowBackgroundView(WindowEdge edge, QWidget* parent = nullptr);

    // Gradient stops from the bar's bottom (0) to its top (1).
    static QGradientStops defaultTitleBarGradient(bool active);
    static QGradientStops defaultBottomBarGradient(bool active);
    static QColor defaultBaselineSeparatorColor(bool active);
    static QColor defaultTitleTextColor(bool active);

    // The separator row: the last row of the title bar, the first of the bottom bar.
    static QRectF baselineSeparatorFrameForRect(const QRectF& rect, WindowEdge edge);

    WindowEdge edge() const { return edge_; }
    // The window whose bar this is; null while the bar is not in one.
    AWAppStoreWindow* appStoreWindow() const;
    // True when the window is the active window.
    bool drawsAsMain() const;

protected:
    void drawWindowBackgroundLayersInRect(QPainter& painter, const QRectF& rect, bool showsSeparator,
                                          const QPainterPath& clip);
    virtual void drawBackgroundGradientInRect(QPainter& painter, const QRectF& rect);
    void drawSeparatorInRect(QPainter& painter, const QRectF& rect);

private:
    WindowEdge edge_;
};

// The title bar: background with rounded top corners and an accent line, then
// the window's title.
class AWTitlebarView : public AWWindowBackgroundView {
    Q_OBJECT
public:
    explicit AWTitlebarView(QWidget* parent = nullptr);
    // Where the title goes and how wide it may be, in this view's coordinates.
    QRectF titleFrame() const;
    static QRectF windowBorderAccentLineFrameForRect(const QRectF& rect);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void drawBackgroundGradientInRect(QPainter& painter, const QRectF& rect) override;
};

class AWBottomBarView : public AWWindowBackgroundView {
    Q_OBJECT
public:
    explicit AWBottomBarView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace orv
