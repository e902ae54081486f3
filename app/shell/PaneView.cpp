#include "app/shell/PaneView.h"

#include <QPalette>
#include <QWidget>

namespace orv {

QWidget* makePaneView()
{
    auto* view = new QWidget;
    view->setFocusPolicy(Qt::StrongFocus);
    view->setAutoFillBackground(true);
    QPalette palette = view->palette();
    palette.setColor(QPalette::Window, Qt::white);
    view->setPalette(palette);
    return view;
}

}  // namespace orv
