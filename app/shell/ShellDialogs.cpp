#include "app/shell/ShellDialogs.h"

#include <QMessageBox>

#include "app/shell/FirstLaunchDialog.h"
#include "app/shell/L10n.h"

namespace orv {

namespace {

class ApplicationDialogs final : public ShellDialogs {
public:
    void showAlert(const QString& message, const QString& informativeText) override
    {
        QMessageBox box;
        box.setIcon(QMessageBox::Warning);
        box.setText(message);
        box.setInformativeText(informativeText);
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
    }

    bool askFirstLaunchQuestion() override
    {
        FirstLaunchDialog dialog;
        return dialog.exec() == FirstLaunchDialog::kYesCode;
    }

    void presentError(const Error& error) override
    {
        QMessageBox box;
        box.setIcon(QMessageBox::Critical);
        box.setText(L10n::text(QString::fromStdString(error.message)));
        if (!error.recoverySuggestion.empty())
            box.setInformativeText(L10n::text(QString::fromStdString(error.recoverySuggestion)));
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
    }
};

ShellDialogs* replacement = nullptr;

}  // namespace

ShellDialogs& ShellDialogs::current()
{
    static ApplicationDialogs application;
    return replacement ? *replacement : application;
}

void ShellDialogs::setCurrent(ShellDialogs* dialogs) { replacement = dialogs; }

}  // namespace orv
