#include "app/shell/OVIntroWindowController.h"

#include "app/shell/WindowPlacement.h"

#include <QGuiApplication>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QScreen>

namespace orv {

OVIntroWindowController::OVIntroWindowController(QObject* parent) : QObject(parent), window_(new OVIntroWindow)
{
    window_->setWindowTitle(QStringLiteral("Orvane"));
    window_->resize(600, 400);
    window_->setAttribute(Qt::WA_DeleteOnClose, false);
    connect(window_, &OVIntroWindow::windowWillClose, this, &OVIntroWindowController::introWindowWillClose);

    navView_ = new OVIntroNavbarView(window_);
    navView_->setDelegate(this);
    // 437x28 at x 81.5, 20 above the bottom; follows the window's width.
    navView_->setGeometry(81, window_->height() - 20 - 28, 437, 28);

    createView1();
}

OVIntroWindowController::~OVIntroWindowController()
{
    if (navView_)
        navView_->setDelegate(nullptr);
    views_.clear();
    delete window_.data();
}

void OVIntroWindowController::createView1() { views_.push_back(std::make_unique<IntroView1Controller>()); }

QWidget* OVIntroWindowController::pageView(uint64_t page) const
{
    if (page < 1 || page > views_.size())
        return nullptr;
    return views_[page - 1]->view();
}

void OVIntroWindowController::showWindow()
{
    navView_->setCurrentPage(1);
    window_->resize(600, 380);
    navView_->setGeometry(81, window_->height() - 20 - 28, window_->width() - 163, 28);
    centreOnScreen(window_);
    if (QWidget* first = pageView(1)) {
        first->setParent(window_);
        first->setGeometry(window_->rect());
        first->show();
        first->stackUnder(navView_);
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

uint64_t OVIntroWindowController::numberOfPage(OVIntroNavbarView&) { return views_.size(); }

void OVIntroWindowController::slideToPage(uint64_t page, uint64_t fromPage)
{
    QWidget* target = pageView(page);
    QWidget* current = pageView(fromPage);
    if (page == fromPage || !target || !current)
        return;
    const int width = current->width();
    const int direction = page > fromPage ? 1 : -1;
    target->setParent(window_);
    target->setGeometry(current->x() + direction * width, current->y(), width, current->height());
    target->show();
    target->stackUnder(navView_);

    auto* group = new QParallelAnimationGroup(this);
    auto* in = new QPropertyAnimation(target, "pos", group);
    in->setEndValue(QPoint(0, target->y()));
    auto* out = new QPropertyAnimation(current, "pos", group);
    out->setEndValue(QPoint(current->x() - direction * width, current->y()));
    group->addAnimation(in);
    group->addAnimation(out);
    group->start(QAbstractAnimation::DeleteWhenStopped);
    navView_->setCurrentPage(page);
}

}  // namespace orv
