#include "app/shell/OVIntroWindow.h"

#include <QCloseEvent>

namespace orv {

OVIntroWindow::OVIntroWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("OVIntroWindow"));
}

void OVIntroWindow::closeEvent(QCloseEvent* event)
{
    emit windowWillClose();
    QWidget::closeEvent(event);
}

}  // namespace orv
