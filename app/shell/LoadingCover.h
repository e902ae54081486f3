#pragma once
// The grey cover laid over the device window while the phone loads: a
// translucent sheet with a spinner and caption that swallows mouse events,
// so nothing under it can be clicked. Panels can be placed inside it.

#include <QLabel>
#include <QWidget>

#include "app/shell/SpinningGear.h"

namespace orv {

class LoadingCover : public QWidget {
    Q_OBJECT

public:
    explicit LoadingCover(QWidget* parent = nullptr);

    void startLoading();
    void stopLoading();
    bool isLoading() const { return spinner_->isSpinning(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    SpinningGear* spinner_;
    QLabel* caption_;
};

}  // namespace orv
