#include "app/shell/PlaceholderPane.h"

#include <QVBoxLayout>

#include "app/shell/OVMainWindowController.h"
#include "app/shell/OVNavbarView.h"
#include "app/shell/PaneView.h"

namespace orv {

PlaceholderPane::~PlaceholderPane() { delete view_.data(); }

void PlaceholderPane::loadView()
{
    if (view_)
        return;
    view_ = makePaneView();
    auto* layout = new QVBoxLayout(view_);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* navbar = new OVNavbarView(view_);
    navbar->setFixedHeight(47);
    layout->addWidget(navbar);
    layout->addStretch(1);
}

void PlaceholderPane::removeFromWindow()
{
    if (view_)
        view_->setParent(nullptr);
}

void PlaceholderPane::updateStatusLabel()
{
    if (controller_)
        controller_->setStatusText({});
}

void PlaceholderPane::cleanUp()
{
    client_.reset();
    controller_ = nullptr;
}

}  // namespace orv
