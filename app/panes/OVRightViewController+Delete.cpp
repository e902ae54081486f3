// Delete: the confirmation (counting what will really go), the deletion on
// the phone with its sheet, and an honest report of a stopped deletion.

#include <QFileInfo>
#include <algorithm>

#include "app/panes/OVRightViewController.h"
#include "app/panes/OVTaskProgressPanel.h"
#include "app/panes/PaneDialogs.h"
#include "app/panes/PaneSounds.h"
#include "app/panes/PaneTransfer.h"
#include "app/shell/L10n.h"
#include "core/bridge/facade/OVDeviceClient.h"

namespace orv {

namespace {

// The phone side deletes its list in slices of this many records and, once
// asked to stop, still finishes the slice it announced.
uint64_t deleteSliceSize(uint64_t records)
{
    if (records > 1000)
        return 20;
    return records <= 500 ? 5 : 10;
}

QString withCount(const char* key, uint64_t count)
{
    return L10n::text(key).replace(QLatin1String("%d"), QString::number(count));
}

}  // namespace

void OVRightViewController::deleteAction()
{
    const std::vector<OVViewModelRef> selection = selectedItems();
    if (selection.empty())
        return;
    std::vector<OVViewModelRef> items;
    uint64_t files = 0;
    uint64_t folders = 0;
    for (const OVViewModelRef& item : selection) {
        if (!item || item->isSystemFile())
            continue;
        items.push_back(item);
        // An album goes as its photos or songs, so the question counts them.
        if (item->isAlbum())
            files += item->ovfile() && item->ovfile()->children() ? item->ovfile()->children()->size() : 0;
        else if (item->isDir())
            ++folders;
        else
            ++files;
    }
    if (items.empty())
        return;
    QString message;
    QString informative;
    if (folders == 0) {
        message = withCount(files < 2 ? "Delete selected %d file?" : "Delete selected %d files?", files);
        informative = L10n::text(files < 2 ? "Deleted file cannot be restored!" : "Deleted files cannot be restored!");
    } else {
        message = withCount(folders < 2 ? "Delete selected %d folder with everything in it?"
                                        : "Delete selected %d folders with everything in them?",
                            folders);
        if (files > 0)
            message += QLatin1Char(' ') + withCount(files < 2 ? "And %d file." : "And %d files.", files);
        informative = L10n::text("Deleted files cannot be restored!");
    }
    if (!PaneDialogs::current().confirmDelete(view_, message, informative))
        return;
    QPointer<OVRightViewController> self(this);
    doDelete(items, [self, items](const std::optional<Error>&) {
        if (!self)
            return;
        if (const auto device = self->client())
            for (const OVViewModelRef& item : items)
                item->cleanupThumbnail(*device);
    });
}

void OVRightViewController::doDelete(const std::vector<OVViewModelRef>& items, ErrorCallback callback)
{
    const std::shared_ptr<OVDeviceClient> device = client();
    if (!device)
        return;
    std::vector<OVFileRef> files;
    bool updateMediaLibrary = false;
    for (const OVViewModelRef& item : items) {
        if (!item || !item->ovfile() || item->isSystemFile())
            continue;
        if (item->isAlbum()) {
            updateMediaLibrary = true;
            if (const auto children = item->ovfile()->children())
                for (const OVFileRef& child : *children)
                    if (child && !OVViewModel::isSystemFile(QString::fromStdString(child->path())))
                        files.push_back(child);
            continue;
        }
        files.push_back(item->ovfile());
        if (item->isImage() || item->isVideo() || item->isAudio() || item->isDir())
            updateMediaLibrary = true;
    }
    if (files.empty())
        return;
    const auto transfer = beginTransfer(static_cast<int>(PaneTransfer::Kind::Delete));
    if (!transfer)
        return;
    const uint64_t records = files.size();
    transfer->fileCount = records;
    startSpinning();

    QPointer<OVRightViewController> self(this);
    auto analysis = [self, transfer](uint64_t count, uint64_t) {
        if (!self)
            return;
        // Small deletions end before anyone could read a sheet.
        if (count >= 6)
            self->scheduleProgressPanel(transfer, L10n::text("Deleting..."));
    };
    auto progress = [self, transfer, files](const OVFileRef& first, std::atomic<bool>& stop) {
        const uint64_t records = files.size();
        const auto found = std::find(files.begin() + static_cast<long>(transfer->deleteSliceBegin), files.end(), first);
        const uint64_t begin = found == files.end() ? transfer->deleteSliceEnd : static_cast<uint64_t>(found - files.begin());
        transfer->deleteSliceBegin = begin;
        transfer->deleteSliceEnd = std::min(records, begin + deleteSliceSize(records));
        if (!self || transfer->cancelled) {
            stop = true;
            return;
        }
        if (transfer->sheetShown && self->progressPanel_)
            self->progressPanel_->setProgress(static_cast<double>(begin) * 100.0 / static_cast<double>(records));
    };
    auto finish = [self, transfer, records, callback](std::optional<Error> error) {
        if (!self)
            return;
        self->endTransfer(transfer);
        self->stopSpinning();
        const bool stopped = transfer->cancelled && transfer->deleteSliceEnd < records;
        PaneSounds::playIfEnabled(error ? PaneSounds::Sound::Error : PaneSounds::Sound::Complete);
        std::optional<Error> reported = error;
        if (!error && stopped) {
            Error stop;
            stop.domain = "OrvaneDelete";
            stop.code = 2;
            stop.message = "The deletion was stopped.";
            reported = stop;
        }
        if (!reported)
            self->doDeleteDone(std::nullopt);
        else
            self->reloadCurrentViewData();  // whatever went is gone from view too
        if (callback)
            callback(reported);
        if (!self)
            return;
        if (error) {
            self->presentError(*error);
            return;
        }
        if (stopped) {
            const QString text = L10n::format(QStringLiteral("%@ of %@ deleted"),
                                              {QString::number(transfer->deleteSliceEnd), QString::number(records)});
            self->showMessage(text, L10n::text("Deleting stopped"));
        } else {
            self->showDeleteDoneMessage(records);
        }
        self->reloadBadgeLater(500);
    };
    device->deleteOVFiles(files, updateMediaLibrary, analysis, progress, finish);
}

}  // namespace orv
