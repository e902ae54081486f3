// The Music pane's transfers: export of songs (through the pane base) and of
// whole albums (each into a folder named after it), delete of songs, albums
// and folder rows as exactly the songs they stand for, and the context menu's
// open actions. An album export lands in a private folder first and its
// folders take their final names only when everything arrived, so a failed or
// stopped export leaves nothing half-copied under a final name, and a name
// already in the destination is never replaced unasked.

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <set>

#include "app/media/OVAudioViewController.h"
#include "app/panes/ExportError.h"
#include "app/panes/LocalStaging.h"
#include "app/panes/OVTaskProgressPanel.h"
#include "app/panes/PaneDialogs.h"
#include "app/panes/PaneSounds.h"
#include "app/panes/SafeLocalName.h"
#include "app/shell/L10n.h"
#include "app/toolkit/NSString+Format.h"
#include "core/bridge/facade/OVDeviceClient.h"

namespace orv {

struct OVAudioViewController::AlbumExport {
    QString folder;
    QString staging;
    // (name in the staging folder, final path), one per album folder.
    std::vector<std::pair<QString, QString>> moves;
    QElapsedTimer started;
    uint64_t totalBytes = 1;
    bool sheetShown = false;
    bool finished = false;
    bool cancelled = false;
    ErrorCallback callback;
};

namespace {

// Album names lose the characters a folder name cannot hold well at both ends.
QString trimmedAlbumName(QString name)
{
    static const QString unsafe = QStringLiteral("/\\?%*|\"<>");
    while (!name.isEmpty() && unsafe.contains(name.front()))
        name.remove(0, 1);
    while (!name.isEmpty() && unsafe.contains(name.back()))
        name.chop(1);
    return name;
}

}  // namespace

void OVAudioViewController::refuseWhileAlbumExportRuns()
{
    showMessage(L10n::text("Another transfer of this pane is still running."), L10n::text("Please wait"));
}

void OVAudioViewController::doExport(const QString& folder, ErrorCallback callback)
{
    if (isAlbumExportRunning()) {
        refuseWhileAlbumExportRuns();
        return;
    }
    if (nowShowMode_ == AlbumsMode) {
        std::vector<std::shared_ptr<OVAudioAlbumViewModel>> albums;
        for (const OVViewModelRef& item : gridViewSelectedItems())
            if (auto album = std::dynamic_pointer_cast<OVAudioAlbumViewModel>(item))
                albums.push_back(album);
        downloadAlbums(albums, folder, std::move(callback));
        return;
    }
    // The base copies what selectedItems() answers: folder rows go as their songs.
    expandFolderRows_ = true;
    OVRightViewController::doExport(folder, std::move(callback));
    expandFolderRows_ = false;
}

void OVAudioViewController::downloadAlbums(const std::vector<std::shared_ptr<OVAudioAlbumViewModel>>& albums,
                                           const QString& folder, ErrorCallback callback)
{
    const auto device = client();
    if (albums.empty() || folder.isEmpty() || !QFileInfo(folder).isDir() || !device)
        return;
    if (isTransferRunning() || isAlbumExportRunning() || progressPanel()) {
        refuseWhileAlbumExportRuns();
        return;
    }
    auto state = std::make_shared<AlbumExport>();
    state->folder = folder;
    state->callback = std::move(callback);

    // Every album folder's final name is decided before anything is copied;
    // albums of one name share their folder, as the phone shows them together.
    std::vector<std::shared_ptr<OVAlbum>> records;
    std::map<QString, QString> stagedByTarget;
    QStringList taken;
    for (const auto& album : albums) {
        if (!album)
            continue;
        const QString wanted = safeLocalName(trimmedAlbumName(album->albumName()));
        QString target = localTargetFor(folder, wanted);
        if (target.isEmpty())
            continue;
        if (!stagedByTarget.count(target) && (QFileInfo::exists(target) || QFileInfo(target).isSymLink())) {
            const auto answer = PaneDialogs::current().askNameClash(
                view(),
                L10n::format(QStringLiteral("Item %@ already exists in this folder. Do you want to replace it?"),
                             {QFileInfo(target).fileName()}),
                QImage());
            if (answer == PaneDialogs::ClashAnswer::Stop) {
                if (state->callback)
                    state->callback(std::nullopt);
                return;
            }
            if (answer == PaneDialogs::ClashAnswer::KeepBoth)
                target = QDir(folder).filePath(local_staging::freeName(folder, QFileInfo(target).fileName(), taken));
        }
        auto staged = stagedByTarget.find(target);
        if (staged == stagedByTarget.end()) {
            staged = stagedByTarget.emplace(target, QStringLiteral("album%1").arg(stagedByTarget.size())).first;
            state->moves.emplace_back(staged->second, target);
            taken << target;
        }
        // A record of the album's songs under the staging name, so the copy's
        // folder name is ours and never the phone's.
        auto record = std::make_shared<OVAudioAlbum>();
        record->setName(staged->second.toStdString());
        record->setPath(album->path().toStdString());
        record->setChildren(album->songs());
        records.push_back(record);
    }
    if (records.empty())
        return;
    state->staging = local_staging::makeFolderIn(folder);
    if (state->staging.isEmpty()) {
        const Error error = exportError(QStringLiteral("The folder cannot be written to."), folder);
        if (state->callback)
            state->callback(error);
        presentError(error);
        return;
    }
    albumExport_ = state;
    state->started.start();
    startSpinning();

    QPointer<OVAudioViewController> self(this);
    auto analysis = [self, state](uint64_t, uint64_t bytes) {
        if (!self)
            return;
        state->totalBytes = std::max<uint64_t>(bytes, 1);
        QTimer::singleShot(progressPanelDelayMs(), self, [self, state] {
            if (!self || state->finished || state->cancelled || self->progressPanel())
                return;
            self->openProgressPanel();
            OVTaskProgressPanel* panel = self->progressPanel();
            panel->titleField()->setText(L10n::text("Exporting..."));
            connect(panel, &OVTaskProgressPanel::cancelRequested, self, [state] { state->cancelled = true; });
            panel->open();
            state->sheetShown = true;
        });
    };
    auto progress = [self, state](const OVFileRef& file, int64_t, int64_t, int64_t overallDone) {
        if (!self || state->cancelled)
            return false;
        OVTaskProgressPanel* panel = self->progressPanel();
        if (!state->sheetShown || !panel)
            return true;
        if (file)
            panel->textField()->setText(QString::fromStdString(file->name()));
        if (overallDone <= 0 || static_cast<uint64_t>(overallDone) > state->totalBytes)
            panel->setIndeterminate();
        else
            panel->setProgress(static_cast<double>(overallDone) * 100.0 / static_cast<double>(state->totalBytes));
        const double seconds = static_cast<double>(state->started.elapsed()) / 1000.0;
        const int64_t speed = seconds > 0 ? static_cast<int64_t>(static_cast<double>(overallDone) / seconds) : 0;
        panel->speedField()->setText(QStringLiteral("%1   %2/%3")
                                         .arg(formatFromByteSpeed(speed), formatFromByteSize(overallDone),
                                              formatFromByteSize(static_cast<int64_t>(state->totalBytes))));
        return true;
    };
    auto finish = [self, state](std::optional<Error> error, bool cancelled) {
        state->finished = true;
        if (!self) {
            QDir(state->staging).removeRecursively();
            return;
        }
        if (state->sheetShown)
            self->cleanProgressPanel();
        self->albumExport_.reset();
        const bool stopped = cancelled || state->cancelled;
        if (!error && !stopped) {
            for (const auto& [stagedName, target] : state->moves) {
                const QString staged = QDir(state->staging).filePath(stagedName);
                if (!QFileInfo(staged).isDir())
                    continue;  // an album without songs brings no folder
                const QFileInfo existing(target);
                if ((existing.exists() || existing.isSymLink()) &&
                    !(existing.isDir() && !existing.isSymLink() ? QDir(target).removeRecursively()
                                                                : QFile::remove(target))) {
                    error = exportError(QStringLiteral("An existing file cannot be replaced."), target);
                    break;
                }
                if (!isInsideFolder(state->folder, target) || !QDir().rename(staged, target)) {
                    error = exportError(QStringLiteral("A file cannot be moved into the folder."), target);
                    break;
                }
            }
        }
        QDir(state->staging).removeRecursively();
        self->stopSpinning();
        if (!stopped)
            PaneSounds::playIfEnabled(error ? PaneSounds::Sound::Error : PaneSounds::Sound::Complete);
        self->doExportDone(error);
        if (state->callback)
            state->callback(error);
        if (self && error)
            self->presentError(*error);
    };
    device->downloadAlbums(records,
                           HostURL::fileURLWithPath(QFile::encodeName(state->staging).toStdString()), analysis,
                           progress, finish);
}

void OVAudioViewController::doDelete(const std::vector<OVViewModelRef>& items, ErrorCallback callback)
{
    if (isAlbumExportRunning()) {
        refuseWhileAlbumExportRuns();
        return;
    }
    const auto device = client();
    const QString serial = device ? QString::fromStdString(device->serialNumber()) : QString();
    std::vector<OVViewModelRef> songs;
    std::set<QString> seen;
    auto add = [&](const OVViewModelRef& song) {
        if (song && !song->isDir() && seen.insert(song->path()).second)
            songs.push_back(song);
    };
    for (const OVViewModelRef& item : items) {
        if (!item)
            continue;
        if (item->isDir()) {
            // Albums and folder rows: their songs, never the folder itself.
            const auto children = item->ovfile() ? item->ovfile()->children() : std::nullopt;
            for (const OVFileRef& file : children.value_or(std::vector<OVFileRef>{}))
                if (auto audio = std::dynamic_pointer_cast<OVAudioFile>(file))
                    add(OVAudioViewModel::make(audio, serial));
            continue;
        }
        add(item);
    }
    if (songs.empty())
        return;
    OVRightViewController::doDelete(songs, std::move(callback));
}

void OVAudioViewController::doImport(const QStringList& localPaths, const OVViewModelRef& toDir, ImportCallback callback)
{
    if (isAlbumExportRunning()) {
        refuseWhileAlbumExportRuns();
        return;
    }
    OVRightViewController::doImport(localPaths, toDir, std::move(callback));
}

void OVAudioViewController::openMenuAction()
{
    std::vector<OVViewModelRef> songs;
    for (const OVViewModelRef& item : selectedItems())
        if (!item->isDir())
            songs.push_back(item);
    if (!songs.empty())
        downloadAndOpenItems(songs);
}

void OVAudioViewController::openwithMenuAction(const QString& applicationId)
{
    for (const OVViewModelRef& item : selectedItems()) {
        if (!item->isDir()) {
            downloadAndOpenItem(item, applicationId);
            return;
        }
    }
}

}  // namespace orv
