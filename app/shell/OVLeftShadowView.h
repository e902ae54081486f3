#pragma once
// A strip beside the sidebar that casts a faint shadow along its right edge
// while its window is the active one; otherwise it draws nothing.

#include <QWidget>

namespace orv {

class OVLeftShadowView : public QWidget {
    Q_OBJECT

public:
    explicit OVLeftShadowView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
};

}  // namespace orv
