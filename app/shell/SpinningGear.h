#pragma once
// A small spinning busy indicator (twelve fading spokes), running from
// start() to stop(); hidden while stopped.

#include <QTimer>
#include <QWidget>

namespace orv {

class SpinningGear : public QWidget {
    Q_OBJECT

public:
    explicit SpinningGear(QWidget* parent = nullptr);

    void start();
    void stop();
    bool isSpinning() const { return timer_.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer timer_;
    int step_ = 0;
};

}  // namespace orv
