// The media panes' transfers: imports into the mode's folder or a dropped-on
// album, exports of whole albums into one safely named folder each, and
// deletions that expand albums into their files, ask with the real count and
// remove the rows at once.

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include "app/media/OVMediaViewController.h"
#include "app/panes/PaneDialogs.h"
#include "app/panes/SafeLocalName.h"
#include "app/shell/L10n.h"
#include "app/shell/Prefs.h"
#include "core/bridge/facade/OVDeviceClient.h"

namespace orv {

namespace {

QString withCount(const char* key, uint64_t count)
{
    return L10n::text(key).replace(QLatin1String("%d"), QString::number(count));
}

}  // namespace

// --- import -------------------------------------------------------------------------------

void OVMediaViewController::doImport(const QStringList& localPaths, ImportCallback callback)
{
    const QStringList paths = filterImport(localPaths);
    if (paths.isEmpty()) {
        showMessage(nothingToImportMessage(), L10n::text("CanNotImport"));
        return;
    }
    OVRightViewController::doImport(paths, importDestination(nullptr), std::move(callback));
}

bool OVMediaViewController::importDroppedPaths(const QStringList& localPaths, const OVPhotoAlbumViewModelRef& album)
{
    if (localPaths.isEmpty())
        return false;
    const QStringList media = findAllMedia(localPaths);
    if (media.isEmpty()) {
        showMessage(nothingToImportMessage(), L10n::text("CanNotImport"));
        return false;
    }
    const OVViewModelRef destination = importDestination(album);
    if (!destination || isTransferRunning())
        return false;
    OVRightViewController::doImport(media, destination, nullptr);
    return true;
}

void OVMediaViewController::doImportDone(const std::optional<Error>&, const std::vector<std::string>& phonePaths)
{
    if (phonePaths.empty())
        return;
    if (!libraryIsEmpty() && Prefs::shared().boolValue(QStringLiteral("UseWatchCommand")))
        return;
    QPointer<OVMediaViewController> self(this);
    QTimer::singleShot(500, this, [self] {
        if (self)
            self->reloadLibraryDataFromDevice();
    });
}

// --- export ---------------------------------------------------------------------------------

void OVMediaViewController::doExport(const QString& folder, ErrorCallback callback)
{
    if (folder.isEmpty())
        return;
    if (!showingAlbums_) {
        OVRightViewController::doExport(folder, std::move(callback));
        return;
    }
    std::vector<OVPhotoAlbumViewModelRef> albums;
    for (const OVViewModelRef& item : selectedItems())
        if (auto album = std::dynamic_pointer_cast<OVPhotoAlbumViewModel>(item);
            album && !album->childrenViewModels().empty())
            albums.push_back(std::move(album));
    if (albums.empty())
        return;
    if (isTransferRunning()) {
        showMessage(L10n::text("Another transfer of this pane is still running."), L10n::text("Please wait"));
        return;
    }
    exportAlbums(folder, std::move(albums), std::move(callback));
}

void OVMediaViewController::exportAlbums(const QString& folder, std::vector<OVPhotoAlbumViewModelRef> albums,
                                         ErrorCallback callback)
{
    auto queue = std::make_shared<std::vector<OVPhotoAlbumViewModelRef>>(std::move(albums));
    exportNextAlbum(folder, std::move(queue), std::move(callback));
}

// One album after another, each its own transfer with its own sheet and
// cancel; a failure or a stop ends the whole export.
void OVMediaViewController::exportNextAlbum(const QString& folder,
                                            std::shared_ptr<std::vector<OVPhotoAlbumViewModelRef>> queue,
                                            ErrorCallback callback)
{
    while (!queue->empty()) {
        const OVPhotoAlbumViewModelRef album = queue->front();
        queue->erase(queue->begin());
        // Album names come from the phone: made safe, and never leaving the chosen folder.
        const QString target = localTargetFor(folder, album->displayname());
        if (target.isEmpty())
            continue;
        QDir().mkdir(target);
        if (!QFileInfo(target).isDir() || !isInsideFolder(folder, target))
            continue;
        QPointer<OVMediaViewController> self(this);
        lastExportCompleted_ = false;
        setExportOverride(album->childrenViewModels());
        OVRightViewController::doExport(target, [self, folder, queue, callback](std::optional<Error> error) {
            if (!self)
                return;
            if (error || !self->lastExportCompleted_) {
                if (callback)
                    callback(error);
                return;
            }
            self->exportNextAlbum(folder, queue, callback);
        });
        setExportOverride({});
        return;
    }
    if (callback)
        callback(std::nullopt);
}

// --- delete -----------------------------------------------------------------------------------

std::vector<OVViewModelRef> OVMediaViewController::expandedFiles(const std::vector<OVViewModelRef>& items)
{
    std::vector<OVViewModelRef> files;
    for (const OVViewModelRef& item : items) {
        if (!item)
            continue;
        if (const auto album = std::dynamic_pointer_cast<OVPhotoAlbumViewModel>(item)) {
            for (const OVViewModelRef& child : album->childrenViewModels())
                if (child && !child->isDir() && !child->isSystemFile())
                    files.push_back(child);
            continue;
        }
        if (!item->isDir() && !item->isSystemFile())
            files.push_back(item);
    }
    return files;
}

QString OVMediaViewController::deleteQuestion(const std::vector<OVViewModelRef>& items, uint64_t files) const
{
    std::vector<OVPhotoAlbumViewModelRef> albums;
    for (const OVViewModelRef& item : items)
        if (auto album = std::dynamic_pointer_cast<OVPhotoAlbumViewModel>(item))
            albums.push_back(std::move(album));
    if (albums.empty())
        return withCount(files < 2 ? "Delete selected %d file?" : "Delete selected %d files?", files);
    if (albums.size() == 1)
        return L10n::format(QStringLiteral("Delete the album \"%@\" with its %@ files?"),
                            {albums.front()->displayname(), QString::number(files)});
    return L10n::format(QStringLiteral("Delete %@ albums with their %@ files?"),
                        {QString::number(albums.size()), QString::number(files)});
}

void OVMediaViewController::mediaDeleteAction()
{
    const std::vector<OVViewModelRef> selection = selectedItems();
    const std::vector<OVViewModelRef> files = expandedFiles(selection);
    if (files.empty() || isTransferRunning())
        return;
    const QString informative =
        L10n::text(files.size() < 2 ? "Deleted file cannot be restored!" : "Deleted files cannot be restored!");
    if (!PaneDialogs::current().confirmDelete(view(), deleteQuestion(selection, files.size()), informative))
        return;
    QPointer<OVMediaViewController> self(this);
    doDelete(selection, [self, files](const std::optional<Error>&) {
        if (!self)
            return;
        if (const auto device = self->client())
            for (const OVViewModelRef& item : files)
                item->cleanupThumbnail(*device);
    });
}

void OVMediaViewController::doDelete(const std::vector<OVViewModelRef>& items, ErrorCallback callback)
{
    if (isTransferRunning())
        return;
    const std::vector<OVViewModelRef> files = expandedFiles(items);
    if (files.empty())
        return;
    pendingDeleted_.clear();
    for (const OVViewModelRef& file : files)
        pendingDeleted_.push_back(file->ovfile());
    OVRightViewController::doDelete(files, std::move(callback));
}

void OVMediaViewController::doDeleteDone(const std::optional<Error>&)
{
    // The rows go now, not at the phone's next push: the grid's positions
    // must never point at other photos than the models hold.
    const std::vector<OVFileRef> deleted = std::move(pendingDeleted_);
    pendingDeleted_.clear();
    // The selection is read while the positions still match the models.
    const std::vector<OVViewModelRef> selection = selectedItems();
    removeDeletedFiles(deleted);
    saveScrollViewOffset();
    reloadGrid();
    restoreScrollViewOffset();
    selectItems(selection);
    updateStatusLabel();
}

}  // namespace orv
