#include "app/shell/Updater.h"

#include <QMessageBox>

#include "core/bridge/facade/OVLocalization.h"

namespace orv {

namespace {
Updater builtIn;
Updater* installed = nullptr;
}  // namespace

void Updater::checkForUpdates(QWidget* parent)
{
    auto* box = new QMessageBox(QMessageBox::Information, QString::fromStdString(localizedString("Check For Update", "Check For Update")),
                                QString::fromStdString(localizedString("UpdateSourceInfo",
                                                                       "Orvane is updated through your system's package manager. "
                                                                       "If you built it yourself, get the new version from the project's page.")),
                                QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}

Updater& Updater::shared() { return installed ? *installed : builtIn; }

void Updater::setShared(Updater* updater) { installed = updater; }

}  // namespace orv
