#include "app/shell/AppCategories.h"

#include <QDir>

#include "app/shell/L10n.h"
#include "app/shell/ShellDialogs.h"
#include "app/viewmodels/PreviewTempFolder.h"

namespace orv {

QString applicationTemporaryFolder(const QString& name)
{
    const QString folder = preview_temp_folder::root();
    return folder.isEmpty() ? QString() : QDir(folder).filePath(name);
}

void processError(const Error& error)
{
    // The framework's own text decides, not its translation in the table.
    const QString raw = QString::fromStdString(error.message);
    if (raw.contains(QLatin1String("Socket"), Qt::CaseInsensitive) ||
        L10n::text(raw).contains(QLatin1String("Socket"), Qt::CaseInsensitive))
        return;
    ShellDialogs::current().presentError(error);
}

Error OVErrorWithCode(long code)
{
    Error error;
    error.domain = "OVError";
    error.code = code;
    if (code == 1 || code == 2) {
        error.message = L10n::text("connect device error").toStdString();
        error.recoverySuggestion =
            L10n::text(code == 1 ? "error unauthorized usb debug" : "connect device error reason").toStdString();
    }
    return error;
}

}  // namespace orv
