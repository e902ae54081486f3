#include "app/shell/ApplicationQuit.h"

#include <QApplication>
#include <QWidget>

namespace orv {

void quitApplication()
{
    // A modal question runs its own loop; end it first.
    while (QWidget* modal = QApplication::activeModalWidget()) {
        modal->close();
        if (QApplication::activeModalWidget() == modal)
            break;
    }
    QCoreApplication::exit(0);
}

}  // namespace orv
