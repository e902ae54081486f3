#pragma once
// Every modal question and alert of the shell goes through this interface,
// so tests answer them without a nested event loop. The application's
// implementation uses QMessageBox and QDialog; tests install their own.

#include <QString>

#include "platform/Error.h"

namespace orv {

class ShellDialogs {
public:
    virtual ~ShellDialogs() = default;
    // A modal alert with one OK button.
    virtual void showAlert(const QString& message, const QString& informativeText) = 0;
    // The first-launch question: true for the yes button.
    virtual bool askFirstLaunchQuestion() = 0;
    // A modal error alert showing the error's texts (through the table).
    virtual void presentError(const Error& error) = 0;

    // The current implementation (the application's unless replaced).
    static ShellDialogs& current();
    // Replaces it; null restores the application's. Not owned.
    static void setCurrent(ShellDialogs* dialogs);
};

}  // namespace orv
