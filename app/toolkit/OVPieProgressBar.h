#pragma once
// A small round progress indicator that fills like a pie, clockwise from
// twelve o'clock, over a translucent dark disc with a white ring.

#include <QWidget>

namespace orv {

class OVPieProgressBar : public QWidget {
    Q_OBJECT
public:
    explicit OVPieProgressBar(QWidget* parent = nullptr);

    double maxValue() const { return maxValue_; }
    // A different value is stored and redrawn; an equal one does nothing.
    void setMaxValue(double value);
    double doubleValue() const { return doubleValue_; }
    // Stored no higher than maxValue; an equal value does nothing.
    void setDoubleValue(double value);
    // The filled part, 0..1, as drawn: a later, lower maximum draws a full pie.
    double fraction() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double maxValue_ = 0;
    double doubleValue_ = 0;
};

}  // namespace orv
