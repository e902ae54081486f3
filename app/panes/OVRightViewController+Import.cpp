// Import: local files and folders onto the phone, with the name-clash
// question, the progress sheet, sounds and the badge refresh.

#include <QDir>
#include <QFileInfo>

#include "app/panes/OVRightViewController.h"
#include "app/panes/PaneDialogs.h"
#include "app/panes/PaneSounds.h"
#include "app/panes/PaneTransfer.h"
#include "app/shell/L10n.h"
#include "app/viewmodels/QuickLookImage.h"
#include "core/bridge/facade/OVDeviceClient.h"

namespace orv {

void OVRightViewController::importAction(bool folder)
{
    QPointer<OVRightViewController> self(this);
    PaneDialogs::current().chooseImportPaths(view_, folder, allowedFileTypes(), [self](const QStringList& paths) {
        if (self && !paths.isEmpty())
            self->doImport(paths, nullptr);
    });
}

void OVRightViewController::doImport(const QStringList& localPaths, ImportCallback callback)
{
    doImport(localPaths, currentDirectory(), std::move(callback));
}

void OVRightViewController::doImport(const QStringList& localPaths, const OVViewModelRef& toDir,
                                     ImportCallback callback)
{
    const std::shared_ptr<OVDeviceClient> device = client();
    if (localPaths.isEmpty() || !toDir || !toDir->ovfile() || !device)
        return;
    const auto transfer = beginTransfer(static_cast<int>(PaneTransfer::Kind::Import));
    if (!transfer)
        return;
    transfer->fileCount = static_cast<uint64_t>(localPaths.size());
    startSpinning();

    std::vector<HostURL> urls;
    for (const QString& path : localPaths)
        urls.push_back(HostURL::fileURLWithPath(QFile::encodeName(QFileInfo(path).absoluteFilePath()).toStdString()));

    QPointer<OVRightViewController> self(this);
    auto analysis = [self, transfer](uint64_t files, uint64_t bytes) {
        if (!self)
            return;
        transfer->fileCount = files;
        transfer->totalBytes = bytes;
        self->scheduleProgressPanel(transfer, L10n::text("Importing..."));
    };
    auto preupload = [self, transfer](const std::string& phonePath, const std::string& hostPath, int64_t& action) {
        if (!self || transfer->cancelled) {
            action = 3;
            return;
        }
        if (phonePath.empty() || hostPath.empty())
            return;
        if (!transfer->clashSoundPlayed) {
            transfer->clashSoundPlayed = true;
            PaneSounds::playIfEnabled(PaneSounds::Sound::Error);
        }
        const QString name = QFileInfo(QString::fromStdString(phonePath)).fileName();
        const QImage icon = quick_look_image::imageWithPreviewOfFileAtPath(QFile::decodeName(hostPath.c_str()), QSize(64, 64), true);
        const auto answer = PaneDialogs::current().askNameClash(
            self->view_, L10n::format(QStringLiteral("Item %@ already exist. Do you want to repalce it?"), {name}),
            icon);
        // The pane may have gone while the question was up.
        if (!self) {
            action = 3;
            return;
        }
        switch (answer) {
        case PaneDialogs::ClashAnswer::Replace:
            action = 1;
            break;
        case PaneDialogs::ClashAnswer::KeepBoth:
            action = 2;
            break;
        case PaneDialogs::ClashAnswer::Stop:
            action = 3;
            transfer->cancelled = true;
            break;
        }
    };
    auto progress = [self, transfer](const HostURL& file, int64_t, int64_t, int64_t overallDone) {
        if (!self)
            return false;
        return self->progressStep(transfer, QFile::decodeName(file.path().c_str()), overallDone, true);
    };
    // Runs on the upload's worker: touches nothing but the transfer's list.
    auto postupload = [transfer](const std::string& phonePath, bool pushed) {
        if (pushed)
            transfer->addUploadedPath(phonePath);
    };
    auto finish = [self, transfer, callback](std::optional<Error> error, uint64_t pushed, bool stopped) {
        if (!self)
            return;
        self->endTransfer(transfer);
        self->stopSpinning();
        stopped = stopped || transfer->cancelled;
        if (!stopped) {
            PaneSounds::playIfEnabled(error ? PaneSounds::Sound::Error : PaneSounds::Sound::Complete);
            if (!error)
                self->showImportDoneMessage(pushed);
        }
        const std::vector<std::string> paths = transfer->uploadedPaths();
        self->doImportDone(error, paths);
        if (callback)
            callback(error, paths);
        if (!self)
            return;
        if (error)
            self->presentError(*error);
        else
            self->reloadBadgeLater(250);
    };
    device->uploadFiles(urls, toDir->ovfile(), true, analysis, preupload, progress, postupload, finish);
}

}  // namespace orv
