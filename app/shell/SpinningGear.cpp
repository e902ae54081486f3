#include "app/shell/SpinningGear.h"

#include <QPainter>
#include <cmath>

namespace orv {

namespace {
constexpr int kSpokes = 12;
}

SpinningGear::SpinningGear(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    timer_.setInterval(80);
    connect(&timer_, &QTimer::timeout, this, [this] {
        step_ = (step_ + 1) % kSpokes;
        update();
    });
    hide();
}

void SpinningGear::start()
{
    show();
    timer_.start();
}

void SpinningGear::stop()
{
    timer_.stop();
    hide();
}

void SpinningGear::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre = QRectF(rect()).center();
    const qreal outer = std::min(width(), height()) / 2.0;
    for (int spoke = 0; spoke < kSpokes; ++spoke) {
        const int age = (step_ - spoke + kSpokes) % kSpokes;
        QPen pen(QColor(0x5b, 0x5c, 0x62, 255 - age * 18), std::max(1.2, outer / 4.5));
        pen.setCapStyle(Qt::RoundCap);
        p.setPen(pen);
        const qreal angle = spoke * 2 * M_PI / kSpokes;
        const QPointF dir(std::sin(angle), -std::cos(angle));
        p.drawLine(centre + dir * outer * 0.45, centre + dir * outer * 0.9);
    }
}

}  // namespace orv
