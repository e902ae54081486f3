#include "app/toolkit/AWWindowBackgroundView.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "app/toolkit/AWAppStoreWindow.h"
#include "app/toolkit/AWWindowButton.h"

namespace orv {

namespace {

QColor white(int level, qreal alpha = 1.0)
{
    QColor c(level, level, level);
    c.setAlphaF(float(alpha));
    return c;
}

constexpr qreal kTopCornerRadius = 4;

}  // namespace

AWWindowBackgroundView::AWWindowBackgroundView(WindowEdge edge, QWidget* parent) : QWidget(parent), edge_(edge) {}

QGradientStops AWWindowBackgroundView::defaultTitleBarGradient(bool active)
{
    if (active)
        return {{0, white(180)}, {0.25, white(195)}, {0.5, white(210)}, {1, white(235)}};
    return {{0, white(225)}, {1, white(250)}};
}

QGradientStops AWWindowBackgroundView::defaultBottomBarGradient(bool active)
{
    return active ? QGradientStops{{0, white(180)}, {1, white(210)}} : QGradientStops{{0, white(225)}, {1, white(235)}};
}

QColor AWWindowBackgroundView::defaultBaselineSeparatorColor(bool active) { return white(active ? 104 : 167); }

QColor AWWindowBackgroundView::defaultTitleTextColor(bool active) { return white(56, active ? 1.0 : 0.5); }

QRectF AWWindowBackgroundView::baselineSeparatorFrameForRect(const QRectF& rect, WindowEdge edge)
{
    const qreal y = edge == WindowEdge::Top ? rect.bottom() - 1 : rect.top();
    return QRectF(0, y, rect.width(), 1);
}

AWAppStoreWindow* AWWindowBackgroundView::appStoreWindow() const { return qobject_cast<AWAppStoreWindow*>(window()); }

bool AWWindowBackgroundView::drawsAsMain() const { return isActiveWindow(); }

void AWWindowBackgroundView::drawWindowBackgroundLayersInRect(QPainter& painter, const QRectF& rect,
                                                              bool showsSeparator, const QPainterPath& clip)
{
    if (!clip.isEmpty())
        painter.setClipPath(clip, Qt::IntersectClip);
    drawBackgroundGradientInRect(painter, rect);
    if (showsSeparator)
        drawSeparatorInRect(painter, baselineSeparatorFrameForRect(rect, edge_));
}

void AWWindowBackgroundView::drawBackgroundGradientInRect(QPainter& painter, const QRectF& rect)
{
    const bool active = drawsAsMain();
    const AWAppStoreWindow* owner = appStoreWindow();
    QGradientStops stops;
    if (edge_ == WindowEdge::Top) {
        if (owner)
            stops = active ? owner->titleBarGradient : owner->inactiveTitleBarGradient;
        if (stops.isEmpty())
            stops = defaultTitleBarGradient(active);
    } else {
        if (owner)
            stops = active ? owner->bottomBarGradient : owner->inactiveBottomBarGradient;
        if (stops.isEmpty())
            stops = defaultBottomBarGradient(active);
    }
    // Location 0 is the bar's bottom edge.
    QLinearGradient gradient(rect.bottomLeft(), rect.topLeft());
    gradient.setStops(stops);
    painter.fillRect(rect, gradient);
}

void AWWindowBackgroundView::drawSeparatorInRect(QPainter& painter, const QRectF& rect)
{
    const bool active = drawsAsMain();
    const AWAppStoreWindow* owner = appStoreWindow();
    QColor color;
    if (owner)
        color = active ? owner->baselineSeparatorColor : owner->inactiveBaselineSeparatorColor;
    if (!color.isValid())
        color = defaultBaselineSeparatorColor(active);
    painter.fillRect(rect, color);
    // A faint highlight on the bar's side of the line.
    const qreal y = edge_ == WindowEdge::Top ? rect.top() - rect.height() : rect.bottom();
    painter.fillRect(QRectF(rect.x(), y, rect.width(), 1), white(255, 0.12));
}

AWTitlebarView::AWTitlebarView(QWidget* parent) : AWWindowBackgroundView(WindowEdge::Top, parent) {}

QRectF AWTitlebarView::windowBorderAccentLineFrameForRect(const QRectF& rect)
{
    return QRectF(0, rect.top(), rect.width(), 1);
}

void AWTitlebarView::drawBackgroundGradientInRect(QPainter& painter, const QRectF& rect)
{
    AWWindowBackgroundView::drawBackgroundGradientInRect(painter, rect);
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Screen);
    painter.fillRect(windowBorderAccentLineFrameForRect(rect), white(255, 0.4));
    painter.restore();
}

namespace {

struct TitleLook {
    QFont font;
    QColor color;
    Shadow shadow;
};

TitleLook titleLook(const AWAppStoreWindow* owner, bool active, const QFont& fallbackFont)
{
    TitleLook look{fallbackFont, AWWindowBackgroundView::defaultTitleTextColor(active),
                   Shadow{QPointF(0, -1), 0, white(255, 0.5)}};
    look.font.setPixelSize(13);
    if (!owner)
        return look;
    if (owner->titleFont)
        look.font = *owner->titleFont;
    const QColor color = active ? owner->titleTextColor : owner->inactiveTitleTextColor;
    if (color.isValid())
        look.color = color;
    if (const auto& shadow = active ? owner->titleTextShadow : owner->inactiveTitleTextShadow)
        look.shadow = *shadow;
    return look;
}

}  // namespace

QRectF AWTitlebarView::titleFrame() const
{
    const AWAppStoreWindow* owner = appStoreWindow();
    const TitleLook look = titleLook(owner, drawsAsMain(), font());
    const QFontMetricsF metrics(look.font);
    const QString title = window()->windowTitle();
    qreal w = metrics.horizontalAdvance(title);
    const qreal h = metrics.height();
    const QRectF bounds = rect();
    qreal x = bounds.center().x() - w / 2;
    if (owner) {
        qreal lightsEnd = -1;
        for (AWWindowButton* button : {owner->closeButton(), owner->minimizeButton(), owner->zoomButton()})
            if (button)
                lightsEnd = std::max(lightsEnd, qreal(mapFromGlobal(button->mapToGlobal(QPoint(button->width(), 0))).x()));
        if (lightsEnd >= 0)
            x = std::max(lightsEnd + 8, x);
        if (AWWindowButton* full = owner->fullScreenButton(); full && full->isVisible()) {
            const qreal limit = mapFromGlobal(full->mapToGlobal(QPoint(0, 0))).x() - 8;
            if (x + w > limit)
                w = limit - x;
        }
    }
    qreal y = bounds.top() + 2;
    if (owner && owner->verticallyCenterTitle())
        y = std::floor(bounds.height() / 2 - h / 2);
    return QRectF(x, y, std::max<qreal>(w, 0), h);
}

void AWTitlebarView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    AWAppStoreWindow* owner = appStoreWindow();
    const bool fullScreen = owner && owner->isFullScreenNow();
    if (fullScreen)
        painter.fillRect(rect(), Qt::black);
    const QRectF area = rect();
    // Rounded top corners; square at the bottom where the content meets the bar.
    QPainterPath clip;
    clip.moveTo(area.bottomLeft());
    clip.lineTo(area.left(), area.top() + kTopCornerRadius);
    clip.arcTo(QRectF(area.left(), area.top(), 2 * kTopCornerRadius, 2 * kTopCornerRadius), 180, -90);
    clip.lineTo(area.right() - kTopCornerRadius, area.top());
    clip.arcTo(QRectF(area.right() - 2 * kTopCornerRadius, area.top(), 2 * kTopCornerRadius, 2 * kTopCornerRadius), 90,
               -90);
    clip.lineTo(area.bottomRight());
    clip.closeSubpath();
    painter.setRenderHint(QPainter::Antialiasing);
    drawWindowBackgroundLayersInRect(painter, area, !owner || owner->showsBaselineSeparator(), clip);
    const bool active = drawsAsMain();
    if (owner && owner->titleBarDrawingBlock)
        owner->titleBarDrawingBlock(painter, active, area, WindowEdge::Top, clip);
    if (!owner || !owner->showsTitle() || (fullScreen && !owner->showsTitleInFullscreen()))
        return;
    const TitleLook look = titleLook(owner, active, font());
    const QRectF frame = titleFrame();
    const QString text = QFontMetricsF(look.font).elidedText(window()->windowTitle(), Qt::ElideRight, frame.width());
    painter.setFont(look.font);
    // The shadow's offset is y-up: (0, -1) lies one pixel below the text.
    painter.setPen(look.shadow.color);
    painter.drawText(frame.translated(look.shadow.offset.x(), -look.shadow.offset.y()), Qt::AlignLeft | Qt::AlignTop,
                     text);
    painter.setPen(look.color);
    painter.drawText(frame, Qt::AlignLeft | Qt::AlignTop, text);
}

void AWTitlebarView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    if (AWAppStoreWindow* owner = appStoreWindow())
        owner->toggleMaximized();
    event->accept();
}

AWBottomBarView::AWBottomBarView(QWidget* parent) : AWWindowBackgroundView(WindowEdge::Bottom, parent) {}

void AWBottomBarView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    AWAppStoreWindow* owner = appStoreWindow();
    const QRectF area = rect();
    drawWindowBackgroundLayersInRect(painter, area, !owner || owner->showsBottomBarSeparator(), QPainterPath());
    if (owner && owner->bottomBarDrawingBlock)
        owner->bottomBarDrawingBlock(painter, drawsAsMain(), area, WindowEdge::Bottom, QPainterPath());
}

}  // namespace orv
