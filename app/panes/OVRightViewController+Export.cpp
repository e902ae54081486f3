// Export: the selection into a folder of the computer. Copies land in a
// private folder beside the destination and take their final names only when
// the whole export succeeded, so a failed or stopped export leaves no partial
// file under a final name and never overwrites anything unasked.

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "app/panes/LocalStaging.h"
#include "app/panes/ExportError.h"
#include "app/panes/OVRightViewController.h"
#include "app/panes/PaneDialogs.h"
#include "app/panes/PaneSounds.h"
#include "app/panes/PaneTransfer.h"
#include "app/panes/SafeLocalName.h"
#include "app/shell/L10n.h"
#include "core/bridge/facade/OVDeviceClient.h"

namespace orv {

namespace {

bool removeEntry(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        return QDir(path).removeRecursively();
    return QFile::remove(path);
}

}  // namespace

void OVRightViewController::exportAction()
{
    QPointer<OVRightViewController> self(this);
    PaneDialogs::current().chooseExportFolder(view_, [self](const QString& folder) {
        if (self && !folder.isEmpty())
            self->doExport(folder, nullptr);
    });
}

void OVRightViewController::doExport(const QString& folder, ErrorCallback callback)
{
    const std::vector<OVViewModelRef> items = selectedItems();
    const std::shared_ptr<OVDeviceClient> device = client();
    if (folder.isEmpty() || !QFileInfo(folder).isDir() || items.empty() || !device)
        return;
    const auto transfer = beginTransfer(static_cast<int>(PaneTransfer::Kind::Export));
    if (!transfer)
        return;
    transfer->fileCount = 1;

    // Decide every final name before anything is copied.
    std::vector<OVFileRef> files;
    std::vector<std::pair<QString, QString>> moves;  // (name in the staging folder, final path)
    QStringList taken;
    QStringList stagedNames;
    for (const OVViewModelRef& item : items) {
        const OVFileRef& file = item ? item->ovfile() : nullptr;
        if (!file)
            continue;
        const QString stagedName = local_staging::lastComponent(QString::fromStdString(file->path()));
        QString target = localTargetFor(folder, stagedName);
        // Two selected entries of one name cannot share the staging folder.
        if (target.isEmpty() || stagedNames.contains(stagedName))
            continue;
        if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) {
            const auto answer = PaneDialogs::current().askNameClash(
                view_,
                L10n::format(QStringLiteral("Item %@ already exists in this folder. Do you want to replace it?"),
                             {QFileInfo(target).fileName()}),
                QImage());
            if (answer == PaneDialogs::ClashAnswer::Stop) {
                endTransfer(transfer);
                doExportDone(std::nullopt);
                if (callback)
                    callback(std::nullopt);
                return;
            }
            if (answer == PaneDialogs::ClashAnswer::KeepBoth)
                target = QDir(folder).filePath(local_staging::freeName(folder, QFileInfo(target).fileName(), taken));
        }
        taken << target;
        stagedNames << stagedName;
        files.push_back(file);
        moves.emplace_back(stagedName, target);
    }
    if (files.empty()) {
        endTransfer(transfer);
        return;
    }
    transfer->stagingFolder = local_staging::makeFolderIn(folder);
    if (transfer->stagingFolder.isEmpty()) {
        finishExport(transfer, folder, moves, exportError(QStringLiteral("The folder cannot be written to."), folder),
                     false, callback);
        return;
    }
    startSpinning();

    QPointer<OVRightViewController> self(this);
    auto analysis = [self, transfer](uint64_t count, uint64_t bytes) {
        if (!self)
            return;
        transfer->fileCount = count;
        transfer->totalBytes = bytes;
        self->scheduleProgressPanel(transfer, L10n::text("Exporting..."));
    };
    auto progress = [self, transfer](const OVFileRef& file, int64_t, int64_t, int64_t overallDone) {
        if (!self)
            return false;
        return self->progressStep(transfer, file ? QString::fromStdString(file->path()) : QString(), overallDone,
                                  true);
    };
    auto finish = [self, transfer, folder, moves, callback](std::optional<Error> error, bool cancelled) {
        if (self) {
            self->finishExport(transfer, folder, moves, std::move(error), cancelled, callback);
        } else {
            QDir(transfer->stagingFolder).removeRecursively();
        }
    };
    device->downloadFiles(files, HostURL::fileURLWithPath(QFile::encodeName(transfer->stagingFolder).toStdString()),
                          analysis, progress, finish);
}

void OVRightViewController::finishExport(const std::shared_ptr<PaneTransfer>& transfer, const QString& folder,
                                         const std::vector<std::pair<QString, QString>>& moves,
                                         std::optional<Error> error, bool cancelled, const ErrorCallback& callback)
{
    endTransfer(transfer);
    stopSpinning();
    const bool stopped = cancelled || transfer->cancelled;
    if (!error && !stopped) {
        for (const auto& [stagedName, target] : moves) {
            const QString staged = QDir(transfer->stagingFolder).filePath(stagedName);
            if (!QFileInfo::exists(staged) && !QFileInfo(staged).isSymLink()) {
                error = exportError(QStringLiteral("A file did not arrive from the phone."), stagedName);
                break;
            }
            // The user chose Replace for a name that exists.
            if ((QFileInfo::exists(target) || QFileInfo(target).isSymLink()) && !removeEntry(target)) {
                error = exportError(QStringLiteral("An existing file cannot be replaced."), target);
                break;
            }
            if (!isInsideFolder(folder, target) || !QDir().rename(staged, target)) {
                error = exportError(QStringLiteral("A file cannot be moved into the folder."), target);
                break;
            }
        }
    }
    if (!transfer->stagingFolder.isEmpty())
        QDir(transfer->stagingFolder).removeRecursively();

    if (!stopped)
        PaneSounds::playIfEnabled(error ? PaneSounds::Sound::Error : PaneSounds::Sound::Complete);
    if (!error && !stopped)
        showExportDoneMessage(transfer->fileCount);
    QPointer<OVRightViewController> self(this);
    doExportDone(error);
    if (callback)
        callback(error);
    if (self && error)
        presentError(*error);
}

}  // namespace orv
