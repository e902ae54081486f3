#include "app/shell/ShellImages.h"

#include <QPainter>
#include <QPainterPath>

#include "app/viewmodels/AppImages.h"

namespace orv::shell_images {
namespace {

const QColor kIconInk(0x6b, 0x6d, 0x73);

QImage sidebarIcon(const QString& name)
{
    QImage icon = app_images::blankCanvas(34, 34);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(kIconInk, 1.8);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    if (name == QLatin1String("SidePhoto")) {
        p.drawRoundedRect(QRectF(6, 9, 22, 17), 2.5, 2.5);
        p.drawEllipse(QPointF(12, 15), 2.2, 2.2);
        QPainterPath hills;
        hills.moveTo(7, 24);
        hills.lineTo(14, 18);
        hills.lineTo(18, 22);
        hills.lineTo(22, 17);
        hills.lineTo(27, 23);
        p.drawPath(hills);
    } else if (name == QLatin1String("SideAudio")) {
        p.drawLine(QPointF(14, 24), QPointF(14, 9));
        p.drawLine(QPointF(14, 9), QPointF(25, 7));
        p.drawLine(QPointF(25, 7), QPointF(25, 22));
        p.setBrush(kIconInk);
        p.drawEllipse(QPointF(11.5, 24.5), 3, 2.4);
        p.drawEllipse(QPointF(22.5, 22.5), 3, 2.4);
    } else if (name == QLatin1String("SideVideo")) {
        p.drawRoundedRect(QRectF(5, 10, 18, 15), 2.5, 2.5);
        QPainterPath lens;
        lens.moveTo(23, 15);
        lens.lineTo(29, 11);
        lens.lineTo(29, 24);
        lens.lineTo(23, 20);
        p.drawPath(lens);
    } else if (name == QLatin1String("SideDownload")) {
        p.drawEllipse(QPointF(17, 17), 11, 11);
        p.drawLine(QPointF(17, 10), QPointF(17, 23));
        p.drawLine(QPointF(12, 18), QPointF(17, 23));
        p.drawLine(QPointF(22, 18), QPointF(17, 23));
    } else {
        QPainterPath folder;
        folder.moveTo(5, 11);
        folder.lineTo(13, 11);
        folder.lineTo(15, 13.5);
        folder.lineTo(29, 13.5);
        folder.lineTo(29, 26);
        folder.lineTo(5, 26);
        folder.closeSubpath();
        p.drawPath(folder);
        p.drawLine(QPointF(5, 16.5), QPointF(29, 16.5));
    }
    return icon;
}

QImage phone(bool white, bool quellbrin)
{
    QImage picture = app_images::blankCanvas(55, 113);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor body = white ? QColor(0xf4, 0xf4, 0xf6) : QColor(0x2a, 0x2b, 0x2f);
    p.setPen(QPen(white ? QColor(0xb8, 0xb9, 0xbe) : QColor(0x15, 0x15, 0x18), 1));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(0.5, 0.5, 54, 112), quellbrin ? 9 : 7, quellbrin ? 9 : 7);
    // The screen area matches the card's screen rectangle (inset 4 and 10).
    p.setPen(Qt::NoPen);
    QLinearGradient glass(0, 10, 0, 103);
    glass.setColorAt(0, QColor(0x3c, 0x4a, 0x5e));
    glass.setColorAt(1, QColor(0x1c, 0x22, 0x2c));
    p.setBrush(glass);
    p.drawRect(QRectF(4, 10, 47, 93));
    p.setBrush(white ? QColor(0xc8, 0xc9, 0xcd) : QColor(0x55, 0x56, 0x5b));
    p.drawRoundedRect(QRectF(22, 5, 11, 2), 1, 1);
    if (quellbrin)
        p.drawEllipse(QPointF(27.5, 107.5), 2.2, 2.2);
    else
        p.drawRoundedRect(QRectF(21, 106, 13, 3), 1.5, 1.5);
    return picture;
}

QImage ejectIcon()
{
    QImage icon = app_images::blankCanvas(11, 10);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x5b, 0x5c, 0x62));
    QPainterPath triangle;
    triangle.moveTo(5.5, 0);
    triangle.lineTo(11, 6);
    triangle.lineTo(0, 6);
    triangle.closeSubpath();
    p.drawPath(triangle);
    p.drawRect(QRectF(0, 8, 11, 2));
    return icon;
}

QImage batteryFlash()
{
    QImage icon = app_images::blankCanvas(7, 11);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x9c, 0x9e, 0xa3));
    QPainterPath bolt;
    bolt.moveTo(4.5, 0);
    bolt.lineTo(0, 6.2);
    bolt.lineTo(3.2, 6.2);
    bolt.lineTo(2.5, 11);
    bolt.lineTo(7, 4.8);
    bolt.lineTo(3.8, 4.8);
    bolt.closeSubpath();
    p.drawPath(bolt);
    return icon;
}

}  // namespace

QImage image(const QString& name)
{
    const QImage named = app_images::namedImage(name);
    if (!named.isNull())
        return named;
    if (name.startsWith(QLatin1String("Side")))
        return sidebarIcon(name);
    if (name == QLatin1String("Pq1"))
        return phone(false, true);
    if (name == QLatin1String("Wq3-white"))
        return phone(true, false);
    if (name == QLatin1String("Wq3-black"))
        return phone(false, false);
    if (name == QLatin1String("ejectIcon"))
        return ejectIcon();
    if (name == QLatin1String("batterFlash"))
        return batteryFlash();
    return {};
}

}  // namespace orv::shell_images
