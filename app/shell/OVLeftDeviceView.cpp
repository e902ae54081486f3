#include "app/shell/OVLeftDeviceView.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <algorithm>
#include <cmath>

#include "app/shell/ShellImages.h"
#include "app/shell/ShellLook.h"
#include "app/toolkit/NSColor+LXExtension.h"
#include "app/shell/SpinningGear.h"
#include "app/viewmodels/AppImages.h"
#include "core/bridge/facade/OVLocalization.h"
#include "platform/NotificationCenter.h"

namespace orv {

using namespace shell_look;

namespace {

const QColor kBatteryColor(208, 209, 211);

QFont cardFont() { return systemFont(12); }
QFont nameFont() { return systemFont(16); }
QColor cardTextColor() { return darkenBy(kBatteryColor, 0.21); }
QColor nameColor() { return QColor::fromCmykF(0.6f, 0.51f, 0.45f, 0.15f).toRgb(); }

constexpr qreal kNameWidth = 110;
constexpr qreal kFreeSpaceNeverFull = 150000;  // kilobytes

// Card text: its colour over a soft halo of the battery colour.
void drawCardText(QPainter& p, const QRectF& r, const QString& text, const QColor& color)
{
    p.setFont(cardFont());
    p.setPen(kBatteryColor);
    for (const QPointF d : {QPointF(0.5, 0), QPointF(-0.5, 0), QPointF(0, 0.5), QPointF(0, -0.5)})
        p.drawText(r.translated(d), Qt::AlignLeft | Qt::AlignVCenter, text);
    p.setPen(color);
    p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, text);
}

QSizeF textSize(const QFont& font, const QString& text)
{
    const QFontMetricsF m(font);
    return {m.horizontalAdvance(text), m.height()};
}

// A crude box blur of the alpha channel, enough for a soft inner edge.
QImage blurred(const QImage& source, int radius)
{
    QImage out = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int pass = 0; pass < 2; ++pass) {
        const bool horizontal = pass == 0;
        const QImage in = out;
        for (int y = 0; y < out.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0; x < out.width(); ++x) {
                int sum = 0, count = 0;
                for (int d = -radius; d <= radius; ++d) {
                    const int sx = horizontal ? x + d : x;
                    const int sy = horizontal ? y : y + d;
                    if (sx < 0 || sy < 0 || sx >= in.width() || sy >= in.height()) {
                        sum += 255;  // outside the shape counts as shadow
                    } else {
                        sum += qAlpha(reinterpret_cast<const QRgb*>(in.constScanLine(sy))[sx]);
                    }
                    ++count;
                }
                line[x] = qRgba(0, 0, 0, sum / count);
            }
        }
    }
    return out;
}

}  // namespace

OVLeftDeviceView::OVLeftDeviceView(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
}

OVLeftDeviceView::~OVLeftDeviceView() = default;

void OVLeftDeviceView::updateScreen(const QImage& image)
{
    if (image == lastScreenSource_)
        return;
    lastScreenSource_ = image;
    screenImage_ = image.isNull() ? QImage() : image.scaled(screenRect().size().toSize(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    update();
}

void OVLeftDeviceView::setDeviceName(const QString& name)
{
    if (name == deviceName_)
        return;
    deviceName_ = name;
}

void OVLeftDeviceView::setBatteryLevel(int64_t level)
{
    if (level == batteryLevel_)
        return;
    batteryLevel_ = std::clamp<int64_t>(level, 0, 100);
}

QString OVLeftDeviceView::toolTipAt(const QPoint& point) const
{
    if (!deviceName_.isEmpty() && nameRect().contains(point))
        return deviceName_;
    return cardToolTip_;
}

void OVLeftDeviceView::startLoadingAnimation()
{
    if (!gear_)
        gear_ = new SpinningGear(this);
    gear_->setGeometry(gearRect());
    gear_->start();
}

void OVLeftDeviceView::stopLoadingAnimation()
{
    if (!gear_)
        return;
    gear_->stop();
    delete gear_.data();
}

QString OVLeftDeviceView::diskSpaceText(int64_t totalKilobytes, int64_t freeKilobytes)
{
    const QString label = QString::fromStdString(localizedString("DiskUsage", "Storage"));
    // Whole units of `unit` kilobytes; the used figure is at least 1, at most
    // the total, and not the total while the phone still has room.
    auto figures = [&](int64_t unit) {
        const int64_t total = totalKilobytes / unit;
        int64_t used = std::max<int64_t>((totalKilobytes - freeKilobytes) / unit, 1);
        used = std::min(used, total);
        if (used == total && freeKilobytes > kFreeSpaceNeverFull)
            used = total - 1;
        return std::pair{std::max<int64_t>(used, 0), total};
    };
    if (totalKilobytes - freeKilobytes <= 0)
        return {};
    if (const auto [used, total] = figures(1000 * 1000); total >= 1)
        return QStringLiteral("%1 %2/%3 GB").arg(label).arg(used).arg(total);
    if (const auto [used, total] = figures(1000); total >= 1)
        return QStringLiteral("%1 %2/%3 MB").arg(label).arg(used).arg(total);
    return {};
}

int OVLeftDeviceView::batteryBarWidth(int64_t level)
{
    return static_cast<int>(static_cast<double>(std::clamp<int64_t>(level, 0, 100)) / 100.0 * 16.0);
}

// --- layout (given bottom-up, as the card is drawn) ----------------------------

QRectF OVLeftDeviceView::imageRect() const
{
    const qreal h = height();
    return flipped(QRectF(21, std::trunc((h - 113) / 2) - 1, 55, 113), h);
}

QRectF OVLeftDeviceView::screenRect() const
{
    // Inset 4 left and right, 10 top and bottom, then moved up 1.
    return imageRect().adjusted(4, 10, -4, -10).translated(0, -1);
}

QRect OVLeftDeviceView::gearRect() const
{
    // Centred on the screen area, rounded down in the card's bottom-up coordinates.
    const qreal h = height();
    const QRectF screen = flipped(screenRect(), h);
    const QRectF gear(std::trunc(screen.center().x() - 7), std::trunc(screen.center().y() - 7), 14, 14);
    return flipped(gear, h).toRect();
}

QRectF OVLeftDeviceView::nameRect() const
{
    const qreal textHeight = textSize(nameFont(), deviceName_.isEmpty() ? QStringLiteral(" ") : deviceName_).height();
    return flipped(QRectF(21 + 55 + 13, 104, kNameWidth, textHeight), height());
}

QRectF OVLeftDeviceView::batteryRect() const { return flipped(QRectF(21 + 55 + 13, 58, 24, 14), height()); }

QRectF OVLeftDeviceView::batteryPercentageRect() const
{
    const QSizeF size = textSize(cardFont(), QStringLiteral("%1%").arg(batteryLevel_));
    const qreal h = height();
    const qreal batteryCentreY = 58 + 7;  // bottom-up
    return flipped(QRectF(21 + 55 + 13 + 24 + 5, std::ceil(batteryCentreY - size.height() / 2), size.width(), size.height()), h);
}

QRectF OVLeftDeviceView::ejectRect() const
{
    const qreal iconWidth = shell_images::image(QStringLiteral("ejectIcon")).deviceIndependentSize().width();
    const qreal textWidth = textSize(cardFont(), ejectText()).width();
    return flipped(QRectF(21 + 55 + 13, 21, textWidth + iconWidth + 29, 24), height());
}

QRectF OVLeftDeviceView::storageRect() const
{
    const QSizeF size = textSize(cardFont(), diskSpaceText(totalSpace_, freeSpace_));
    return flipped(QRectF(21 + 55 + 13, 82, size.width(), size.height()), height());
}

QString OVLeftDeviceView::ejectText() const { return QString::fromStdString(localizedString("EjectPhone", "Eject")); }

// --- drawing ---------------------------------------------------------------------

void OVLeftDeviceView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);

    if (!deviceImage_.isNull()) {
        p.drawImage(imageRect(), deviceImage_);
        if (!screenImage_.isNull()) {
            QRectF target(QPointF(), screenImage_.deviceIndependentSize());
            target.moveCenter(screenRect().center());
            p.drawImage(target, screenImage_);
        }
        if (imagePressed_)
            p.fillRect(screenRect(), black(0.46));
    }

    if (!deviceName_.isEmpty()) {
        const QRectF r = nameRect();
        p.setFont(nameFont());
        p.setPen(nameColor());
        p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, QFontMetricsF(nameFont()).elidedText(deviceName_, Qt::ElideRight, r.width()));
    }

    if (batteryLevel_ > 0)
        drawBattery(p);
    if (drawEjectButton_)
        drawEject(p);
    if (totalSpace_ - freeSpace_ > 0)
        drawCardText(p, storageRect(), diskSpaceText(totalSpace_, freeSpace_), cardTextColor());

    p.fillRect(QRectF(0, 0, width(), 1), black(0.05));
}

void OVLeftDeviceView::drawBattery(QPainter& p) const
{
    // The gauge's shape as a mask (drawn bottom-up; it is symmetric in y),
    // filled with a light gradient and given a soft inner shadow.
    constexpr int scale = 4;
    QImage mask(24 * scale, 14 * scale, QImage::Format_ARGB32_Premultiplied);
    mask.fill(Qt::transparent);
    {
        QPainter m(&mask);
        m.setRenderHint(QPainter::Antialiasing);
        m.scale(scale, scale);
        QPainterPath body;
        body.addRoundedRect(QRectF(2, 0, 22, 14), 2, 2);
        m.setClipPath(body);
        m.setPen(QPen(Qt::black, 2 * 2));  // twice the width, clipped: the line lies inside
        m.setBrush(Qt::NoBrush);
        m.drawPath(body);
        m.setClipping(false);
        m.fillRect(QRectF(0, 4, 2, 6), Qt::black);
        const int bar = batteryBarWidth(batteryLevel_);
        m.fillRect(QRectF(21 - bar, 3, bar, 8), Qt::black);
    }
    QImage gauge = mask;
    {
        QPainter g(&gauge);
        g.setCompositionMode(QPainter::CompositionMode_SourceIn);
        QLinearGradient fill(0, 0, 0, gauge.height());
        fill.setColorAt(0, darkenBy(kBatteryColor, -0.02));
        fill.setColorAt(1, darkenBy(kBatteryColor, -0.05));
        g.fillRect(gauge.rect(), fill);
        // Inner shadow: the blurred outside, kept inside the shape.
        QImage inverse(mask.size(), QImage::Format_ARGB32_Premultiplied);
        inverse.fill(Qt::black);
        {
            QPainter i(&inverse);
            i.setCompositionMode(QPainter::CompositionMode_DestinationOut);
            i.drawImage(0, 0, mask);
        }
        QImage shadow = blurred(inverse, static_cast<int>(1.6 * scale));
        {
            QPainter s(&shadow);
            s.setCompositionMode(QPainter::CompositionMode_DestinationIn);
            s.drawImage(0, 0, mask);
        }
        g.setCompositionMode(QPainter::CompositionMode_SourceAtop);
        g.setOpacity(0.2 * 2.5);  // the box blur is fainter than a Gaussian of the same radius
        g.drawImage(0, 0, shadow);
    }
    const QRectF battery = batteryRect();
    p.drawImage(battery, gauge);

    const QRectF percentRect = batteryPercentageRect();
    drawCardText(p, percentRect, QStringLiteral("%1%").arg(batteryLevel_), cardTextColor());
    if (batteryLevel_ < 100) {
        const QImage flash = shell_images::image(QStringLiteral("batterFlash"));
        const QSizeF size = flash.deviceIndependentSize();
        // One point up from the percentage's bottom edge.
        p.drawImage(QRectF(QPointF(percentRect.right() + 4, percentRect.bottom() - 1 - size.height()), size), flash);
    }
}

void OVLeftDeviceView::drawEject(QPainter& p) const
{
    const QRectF r = ejectRect().translated(0, 1);
    p.save();
    p.setOpacity(ejectPressed_ ? 0.85 : 1.0);
    const QImage left = app_images::namedImage(QStringLiteral("ejectButtonLeft"));
    const QImage middle = app_images::namedImage(QStringLiteral("ejectButtonMiddle"));
    const QImage right = app_images::namedImage(QStringLiteral("ejectButtonRight"));
    if (!left.isNull() && !middle.isNull() && !right.isNull()) {
        const qreal lw = left.deviceIndependentSize().width(), rw = right.deviceIndependentSize().width();
        p.drawImage(QRectF(r.x(), r.y(), lw, r.height()), left);
        p.drawImage(QRectF(r.x() + lw, r.y(), r.width() - lw - rw, r.height()), middle);
        p.drawImage(QRectF(r.right() - rw, r.y(), rw, r.height()), right);
    } else {
        QLinearGradient face(r.topLeft(), r.bottomLeft());
        face.setColorAt(0, QColor(0xfd, 0xfd, 0xfd));
        face.setColorAt(1, QColor(0xec, 0xec, 0xee));
        p.setBrush(face);
        p.setPen(QPen(QColor(0xc4, 0xc5, 0xc9), 1));
        p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), r.height() / 2, r.height() / 2);
    }
    const QImage icon = shell_images::image(QStringLiteral("ejectIcon"));
    const QSizeF iconSize = icon.deviceIndependentSize();
    const QRectF e = ejectRect();
    p.drawImage(QRectF(QPointF(std::round(e.x() + 12), std::round(e.y() + std::trunc((e.height() - iconSize.height()) / 2))), iconSize), icon);
    p.restore();
    const QSizeF text = textSize(cardFont(), ejectText());
    const QColor ink = darkenBy(palette().color(QPalette::WindowText), ejectPressed_ ? -0.6 : -0.5);
    drawCardText(p, QRectF(e.x() + iconSize.width() + 17, e.y() + (e.height() - text.height()) / 2, e.width(), text.height()), ejectText(), ink);
}

// --- events ----------------------------------------------------------------------

void OVLeftDeviceView::mousePressEvent(QMouseEvent* event)
{
    QWidget::mousePressEvent(event);
    ejectPressed_ = false;
    if (needUpdateScreenImage_)
        imagePressed_ = false;
    const QPointF at = event->position();
    if (ejectRect().contains(at))
        ejectPressed_ = true;
    else if (needUpdateScreenImage_ && imageRect().contains(at))
        imagePressed_ = true;
    update();
}

void OVLeftDeviceView::mouseReleaseEvent(QMouseEvent* event)
{
    QWidget::mouseReleaseEvent(event);
    ejectPressed_ = false;
    imagePressed_ = false;
    update();
    const QPointF at = event->position();
    // Only the release point counts: wherever the press began.
    if (ejectRect().contains(at))
        NotificationCenter::defaultCenter().postNotificationName(kEjectNotification, this);
    else if (needUpdateScreenImage_ && imageRect().contains(at) && !isLoading())
        NotificationCenter::defaultCenter().postNotificationName(kUpdatePhoneImageNotification, this);
}

bool OVLeftDeviceView::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = toolTipAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(event);
}

void OVLeftDeviceView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (gear_)
        gear_->setGeometry(gearRect());
}

}  // namespace orv
