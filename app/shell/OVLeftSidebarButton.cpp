#include "app/shell/OVLeftSidebarButton.h"

#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "app/shell/ShellLook.h"
#include "app/toolkit/NSColor+LXExtension.h"
#include "app/shell/ShellSettings.h"
#include "app/shell/SpinningGear.h"
#include "core/bridge/facade/OVLocalization.h"

namespace orv {

using namespace shell_look;

namespace {
QFont titleFont() { return systemFont(14, true); }
}  // namespace

OVLeftSidebarButton::OVLeftSidebarButton(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
}

OVLeftSidebarButton::~OVLeftSidebarButton() = default;

void OVLeftSidebarButton::setIcon(const QImage& icon)
{
    icon_ = icon;
    update();
}

void OVLeftSidebarButton::setTitle(const QString& title)
{
    title_ = title;
    update();
}

void OVLeftSidebarButton::setBadge(int64_t badge)
{
    if (!shell_settings::showLeftBadge())
        badge = -1;
    if (badge == badge_)
        return;
    badge_ = badge;
    update();
}

void OVLeftSidebarButton::setSelected(bool selected)
{
    selected_ = selected;
    update();
}

void OVLeftSidebarButton::setBelowButtonIsSelected(bool selected)
{
    belowButtonIsSelected_ = selected;
    update();
}

void OVLeftSidebarButton::startLoadingAnimation()
{
    if (!shell_settings::showLeftBadge()) {
        stopLoadingAnimation();
        return;
    }
    setBadge(-1);
    if (!gear_)
        gear_ = new SpinningGear(this);
    gear_->setGeometry(gearRect());
    gear_->start();
    update();
}

void OVLeftSidebarButton::stopLoadingAnimation()
{
    if (!gear_)
        return;
    gear_->stop();
    delete gear_.data();
    update();
}

bool OVLeftSidebarButton::isLoading() const { return gear_ != nullptr; }

QString OVLeftSidebarButton::badgeText(int64_t badge)
{
    if (badge < 0)
        return QStringLiteral(" ");
    if (badge < 1000)
        return QString::number(badge);
    // Rounded down: "2K+" must mean at least two thousand.
    return QStringLiteral("%1K+").arg(badge / 1000);
}

QColor OVLeftSidebarButton::textColor() const { return colorWithHex(selected_ ? QStringLiteral("313237") : QStringLiteral("5b5c62")); }

QColor OVLeftSidebarButton::badgeTextColor() const
{
    const QColor base = colorWithHex(QStringLiteral("8a8a90"));
    return selected_ ? darkenBy(base, 0.3) : base;
}

QRectF OVLeftSidebarButton::iconFrame() const
{
    const qreal h = height();
    return flipped(QRectF(15, std::ceil(h / 2 - 17), 34, 34), h);
}

QRectF OVLeftSidebarButton::titleFrame() const
{
    const QFontMetricsF metrics(titleFont());
    const qreal h = height();
    const qreal textHeight = metrics.height();
    const qreal x = icon_.isNull() ? 20 : std::floor(15 + 34 + 7);
    return flipped(QRectF(x, h / 2 - textHeight / 2 + 1, metrics.horizontalAdvance(title_) + 5, textHeight), h);
}

QRectF OVLeftSidebarButton::badgeFrame() const
{
    const QFontMetricsF metrics(badgeFont());
    const QString text = badgeText(badge_);
    const qreal h = height();
    const qreal w = metrics.horizontalAdvance(text);
    const qreal textHeight = metrics.height();
    return flipped(QRectF(width() - 16 - w, std::ceil(h / 2 - textHeight / 2) + 2, w, textHeight), h);
}

QRect OVLeftSidebarButton::gearRect() const
{
    const qreal h = height();
    return flipped(QRectF(width() - 30, std::trunc(h / 2 - 6), 14, 14), h).toRect();
}

std::unique_ptr<QMenu> OVLeftSidebarButton::makeContextMenu()
{
    if (!shell_settings::showLeftBadge())
        return nullptr;
    auto menu = std::make_unique<QMenu>();
    QAction* reload = menu->addAction(QString::fromStdString(localizedString("SidebarMenuReload", "Reload")));
    if (isLoading())
        reload->setEnabled(false);  // a count already loading is not asked for twice
    else
        connect(reload, &QAction::triggered, this, [this] { emit reloadRequested(this); });
    return menu;
}

void OVLeftSidebarButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (selected_)
        p.fillRect(rect(), black(kTranslucentLook ? 0.03 : 0.045));
    if (!icon_.isNull())
        p.drawImage(iconFrame(), icon_);
    if (!title_.isEmpty()) {
        const QRectF frame = titleFrame();
        p.setFont(titleFont());
        // A faint halo stands in for the control-text shadow.
        p.setPen(black(0.06));
        p.drawText(frame.translated(0, 0.5), Qt::AlignLeft | Qt::AlignVCenter, title_);
        p.setPen(textColor());
        p.drawText(frame, Qt::AlignLeft | Qt::AlignVCenter, title_);
    }
    if (shell_settings::showLeftBadge() && badge_ >= 0 && !isLoading()) {
        p.setFont(badgeFont());
        p.setPen(badgeTextColor());
        p.drawText(badgeFrame(), Qt::AlignRight | Qt::AlignVCenter, badgeText(badge_));
    }
    p.fillRect(QRectF(0, height() - 1, width(), 1), black(belowButtonIsSelected_ ? 0.09 : 0.05));
}

void OVLeftSidebarButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    pressed_ = true;
    update();
}

void OVLeftSidebarButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !pressed_)
        return QWidget::mouseReleaseEvent(event);
    pressed_ = false;
    update();
    emit clicked(this);
}

void OVLeftSidebarButton::contextMenuEvent(QContextMenuEvent* event)
{
    auto menu = makeContextMenu();
    if (!menu)
        return QWidget::contextMenuEvent(event);
    menu->exec(event->globalPos());
}

void OVLeftSidebarButton::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (gear_)
        gear_->setGeometry(gearRect());
}

}  // namespace orv
