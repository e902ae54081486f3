#pragma once
// The first intro page: "Connect Your Phone" with a line asking for the USB
// cable, over a white page.

#include <QLabel>
#include <QPointer>

#include "app/shell/OVIntroView.h"

namespace orv {

class IntroView1Controller {
public:
    IntroView1Controller();
    ~IntroView1Controller();
    IntroView1Controller(const IntroView1Controller&) = delete;
    IntroView1Controller& operator=(const IntroView1Controller&) = delete;

    // The page; owned here until a window takes it as a child.
    OVIntroView* view() const { return view_; }
    QLabel* titleField() const { return titleField_; }
    QLabel* textField() const { return textField_; }

private:
    QPointer<OVIntroView> view_;
    QLabel* titleField_;
    QLabel* textField_;
};

}  // namespace orv
