#include "app/toolkit/OVSliderCell.h"

#include <QPainter>
#include <QStyleOptionSlider>

namespace orv {
namespace {

constexpr int kKnobSize = 21;

}  // namespace

OVSliderCell::OVSliderCell(QObject* owner)
{
    setParent(owner);
}

QColor OVSliderCell::dotColor(bool pressed)
{
    return pressed ? QColor(Qt::black) : QColor::fromRgbF(0.446f, 0.446f, 0.446f);
}

void OVSliderCell::drawKnob(QPainter* painter, const QRectF& knob, bool pressed)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(Qt::white);
    painter->drawEllipse(knob.adjusted(4, 4, -4, -4).translated(0, -1));
    painter->setBrush(dotColor(pressed));
    painter->drawEllipse(knob.adjusted(5.5, 5.5, -5.5, -5.5));
    painter->restore();
}

int OVSliderCell::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const
{
    if (metric == PM_SliderLength || metric == PM_SliderControlThickness || metric == PM_SliderThickness)
        return kKnobSize;
    return QProxyStyle::pixelMetric(metric, option, widget);
}

void OVSliderCell::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                                      const QWidget* widget) const
{
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    const auto* slider = qstyleoption_cast<const QStyleOptionSlider*>(option);
    if (control != CC_Slider || !slider || !(slider->subControls & SC_SliderHandle))
        return;
    const QRect knob = subControlRect(CC_Slider, slider, SC_SliderHandle, widget);
    const bool pressed = (slider->activeSubControls & SC_SliderHandle) && (slider->state & State_Sunken);
    drawKnob(painter, knob, pressed);
}

}  // namespace orv
