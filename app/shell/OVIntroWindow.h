#pragma once
// The intro window: a plain top-level window that hides on close and tells
// its controller.

#include <QWidget>
#include <functional>

namespace orv {

class OVIntroWindow : public QWidget {
    Q_OBJECT

public:
    explicit OVIntroWindow(QWidget* parent = nullptr);

signals:
    void windowWillClose();

protected:
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace orv
