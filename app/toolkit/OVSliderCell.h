#pragma once
// A slider look: the style's own knob with a white disc and a dot on it, the
// dot black while the knob is pressed and grey otherwise. Set on a slider
// with `slider->setStyle(new OVSliderCell(slider))`; everything else is drawn
// by the application's style.

#include <QProxyStyle>

namespace orv {

class OVSliderCell : public QProxyStyle {
    Q_OBJECT
public:
    // Draws through a style of the application's kind; `owner` (the slider) owns it.
    explicit OVSliderCell(QObject* owner = nullptr);

    static QColor dotColor(bool pressed);
    // The disc and the dot over the knob in `knob`.
    static void drawKnob(QPainter* painter, const QRectF& knob, bool pressed);

    // The knob is 21 across, room for the disc and the dot the insets leave.
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;
};

}  // namespace orv
