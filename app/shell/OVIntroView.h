#pragma once
// The white background of an intro page; it follows its parent's size.

#include <QWidget>

namespace orv {

class OVIntroView : public QWidget {
    Q_OBJECT

public:
    explicit OVIntroView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace orv
