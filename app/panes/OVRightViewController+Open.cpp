// Open and Open With: copies from the phone into a private folder of their
// own per request (never replacing a copy an application may still hold),
// then handed to the desktop's applications; and drags out, whose copies are
// made when the drop asks for them.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>

#include "app/panes/AppLauncher.h"
#include "app/panes/LocalStaging.h"
#include "app/panes/OVDragOutMimeData.h"
#include "app/panes/OVRightViewController.h"
#include "app/panes/OVTaskProgressPanel.h"
#include "app/panes/PaneDialogs.h"
#include "app/panes/PaneTransfer.h"
#include "app/panes/SafeLocalName.h"
#include "app/shell/L10n.h"
#include "app/shell/Prefs.h"
#include "core/bridge/facade/OVDeviceClient.h"

namespace orv {

void OVRightViewController::downloadAndOpenItem(const OVViewModelRef& item)
{
    if (item)
        downloadAndOpen({item}, QString(), true);
}

void OVRightViewController::downloadAndOpenItem(const OVViewModelRef& item, const QString& applicationId)
{
    if (item)
        downloadAndOpen({item}, applicationId, true);
}

void OVRightViewController::downloadAndOpenItems(const std::vector<OVViewModelRef>& items)
{
    if (!items.empty())
        downloadAndOpen(items, QString(), false);
}

void OVRightViewController::downloadAndOpen(const std::vector<OVViewModelRef>& items, const QString& applicationId,
                                            bool single)
{
    const std::shared_ptr<OVDeviceClient> device = client();
    if (!device)
        return;
    std::vector<OVFileRef> files;
    QStringList names;
    for (const OVViewModelRef& item : items) {
        if (!item || !item->ovfile())
            continue;
        const QString name = local_staging::lastComponent(QString::fromStdString(item->ovfile()->path()));
        if (names.contains(name))
            continue;  // one request folder holds one file of a name
        files.push_back(item->ovfile());
        names << name;
    }
    if (files.empty())
        return;
    const auto transfer = beginTransfer(static_cast<int>(PaneTransfer::Kind::Open));
    if (!transfer)
        return;
    transfer->stagingFolder = local_staging::makeOpenFolder();
    if (transfer->stagingFolder.isEmpty()) {
        endTransfer(transfer);
        Error error;
        error.domain = "OrvaneOpen";
        error.code = 1;
        error.message = "The temporary folder cannot be made.";
        presentError(error);
        return;
    }
    const bool showFileName = single && Prefs::shared().boolValue(QStringLiteral("ShowProgressFilePath"));
    startSpinning();

    QPointer<OVRightViewController> self(this);
    auto analysis = [self, transfer, showFileName](uint64_t, uint64_t bytes) {
        if (!self)
            return;
        transfer->totalBytes = bytes;
        self->scheduleProgressPanel(transfer, showFileName ? QString() : L10n::text("Opening file..."));
    };
    auto progress = [self, transfer, showFileName, single](const OVFileRef& file, int64_t, int64_t,
                                                           int64_t overallDone) {
        if (!self)
            return false;
        const bool goOn = self->progressStep(transfer, file ? QString::fromStdString(file->path()) : QString(),
                                             overallDone, false);
        if (single && !showFileName && self->progressPanel_ && transfer->sheetShown)
            self->progressPanel_->textField()->setText(L10n::text("Opening file..."));
        return goOn;
    };
    auto finish = [self, transfer, names, applicationId, single](std::optional<Error> error, bool cancelled) {
        if (!self)
            return;
        self->endTransfer(transfer);
        self->stopSpinning();
        if (error) {
            self->presentError(*error);
            return;
        }
        if (cancelled || transfer->cancelled)
            return;
        AppLauncher& launcher = AppLauncher::current();
        for (const QString& name : names) {
            const QString path = localTargetFor(transfer->stagingFolder, name);
            if (path.isEmpty() || !QFileInfo::exists(path))
                continue;
            if (!single) {
                launcher.open(path);
                continue;
            }
            const bool opened = launcher.defaultApplicationFor(path).has_value() || !applicationId.isEmpty()
                                    ? (applicationId.isEmpty() ? launcher.open(path) : launcher.openWith(path, applicationId))
                                    : false;
            if (!opened)
                PaneDialogs::current().showMessage(self->view_, L10n::text("NoOpenerApplication"),
                                                   QFileInfo(path).fileName(), false);
        }
    };
    device->downloadFiles(files, HostURL::fileURLWithPath(QFile::encodeName(transfer->stagingFolder).toStdString()),
                          analysis, progress, finish);
}

QMimeData* OVRightViewController::dragOutMimeData(const std::vector<OVViewModelRef>& dragged)
{
    const auto device = client();
    if (!device || dragged.empty())
        return nullptr;
    auto exporter = std::make_unique<OVDragOutExporter>(*device, dragged);
    if (!exporter->canStartDrag()) {
        showMessage(exporter->refusal(), L10n::text("Alert"));
        return nullptr;
    }
    QPointer<OVRightViewController> self(this);
    connect(exporter.get(), &OVDragOutExporter::refused, this, [self](const QString& hint) {
        if (self)
            self->showMessage(hint, L10n::text("Alert"));
    });
    return new OVDragOutMimeData(std::move(exporter));
}

void OVRightViewController::openImageFileInPreview(const QString& path)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return;
    AppLauncher::current().open(path);
}

}  // namespace orv
