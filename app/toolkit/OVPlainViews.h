#pragma once
// Views that fill themselves with one colour: white backgrounds (the device
// window's right-hand container among them) and the one-pixel separator line.

#include <QWidget>

namespace orv {

class OVWhiteView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class OVRightBaseView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Filled with "e0dcdc" darkened by 0.1.
class OVLineView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    static QColor lineColor();

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace orv
