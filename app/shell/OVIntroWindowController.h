#pragma once
// The intro window that asks for a phone while no device window is open: a
// pager of intro pages with a dot bar (the application has one page). The
// controller lives as long as the application; closing only hides the window.

#include <QObject>
#include <QPointer>
#include <memory>
#include <vector>

#include "app/shell/IntroView1Controller.h"
#include "app/shell/OVIntroNavbarView.h"
#include "app/shell/OVIntroWindow.h"

namespace orv {

class OVIntroWindowController : public QObject, public OVIntroNavbarViewDelegate {
    Q_OBJECT

public:
    explicit OVIntroWindowController(QObject* parent = nullptr);
    ~OVIntroWindowController() override;

    OVIntroWindow* window() const { return window_; }
    OVIntroNavbarView* navView() const { return navView_; }
    const std::vector<std::unique_ptr<IntroView1Controller>>& views() const { return views_; }

    // Page 1, window 600x380 centred, shown in front.
    void showWindow();

    uint64_t numberOfPage(OVIntroNavbarView& bar) override;
    void slideToPage(uint64_t page, uint64_t fromPage) override;

signals:
    void introWindowWillClose();

private:
    void createView1();
    QWidget* pageView(uint64_t page) const;

    QPointer<OVIntroWindow> window_;
    OVIntroNavbarView* navView_ = nullptr;
    std::vector<std::unique_ptr<IntroView1Controller>> views_;
};

}  // namespace orv
