#include "app/panes/PaneImages.h"

#include <QHash>
#include <QMutex>
#include <QPainter>
#include <QPainterPath>

#include "app/viewmodels/AppImages.h"

namespace orv::pane_images {
namespace {

QImage separator()
{
    QImage image = app_images::blankCanvas(10, 30);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(QColor(0xc4, 0xc6, 0xcb), 1.2);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
    QPainterPath chevron;
    chevron.moveTo(3, 9);
    chevron.lineTo(7.5, 15);
    chevron.lineTo(3, 21);
    p.drawPath(chevron);
    return image;
}

// A white card with a soft edge: the photo is drawn inside it, 2 in from the
// sides and 3 from top and bottom.
QImage imageBorder()
{
    QImage image = app_images::blankCanvas(110, 110);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 3; i >= 1; --i) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 14 * (4 - i)));
        p.drawRoundedRect(QRectF(1 - i * 0.5, 1.5 - i * 0.3, 108 + i, 108 + i * 0.8), 2 + i, 2 + i);
    }
    p.setBrush(Qt::white);
    p.setPen(QPen(QColor(0, 0, 0, 30), 0.5));
    p.drawRoundedRect(QRectF(1, 1, 108, 108), 1.5, 1.5);
    return image;
}

QImage videoIcon()
{
    QImage image = app_images::blankCanvas(30, 30);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(255, 255, 255, 230), 1.5));
    p.setBrush(QColor(0, 0, 0, 110));
    p.drawEllipse(QRectF(2, 2, 26, 26));
    QPainterPath triangle;
    triangle.moveTo(12, 9);
    triangle.lineTo(21, 15);
    triangle.lineTo(12, 21);
    triangle.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(triangle);
    return image;
}

}  // namespace

QImage image(const QString& name)
{
    static QMutex lock;
    static QHash<QString, QImage> made;
    QMutexLocker locker(&lock);
    if (auto it = made.constFind(name); it != made.constEnd())
        return *it;
    QImage result = app_images::namedImage(name);
    if (result.isNull()) {
        if (name == QLatin1String("OVPathbar-separator"))
            result = separator();
        else if (name == QLatin1String("icon_imageborder"))
            result = imageBorder();
        else if (name == QLatin1String("videoIcon"))
            result = videoIcon();
    }
    made.insert(name, result);
    return result;
}

}  // namespace orv::pane_images
