#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "core/bridge/facade/ADBError.h"
#include "core/bridge/adb/ADBStrings.h"
#include "core/bridge/companion/MediaRefresh.h"
#include "core/bridge/adb/OVADBConstants.h"
#include "core/bridge/adb/OVADBManager.h"
#include "core/bridge/adb/OVADBManagerOperation.h"
#include "core/bridge/model/OVDirectoryFile.h"
#include "core/bridge/model/OVImageFile.h"
#include "core/bridge/model/OVVideoFile.h"
#include "core/bridge/adb/PhoneFolderListing.h"
#include "core/bridge/adb/PhonePath.h"
#include "core/bridge/adb/ShellStatus.h"

namespace orv {

namespace {

constexpr const char* kScanFileAction = "android.intent.action.MEDIA_SCANNER_SCAN_FILE";
constexpr const char* kScanFolderAction = "android.intent.action.MEDIA_MOUNTED";

// Few "rm" children for large deletions, small slices (and so frequent
// progress) for small ones.
size_t deleteSliceSize(size_t records)
{
    if (records > 1000)
        return 20;
    if (records <= 500)
        return 5;
    return 10;
}

// Only entries strictly inside the phone's shared storage may be removed:
// "rm -rf" of the storage root, of a system folder or of a path that climbs
// out with ".." would wipe far more than the user chose.
bool isDeletablePhonePath(const std::string& path)
{
    const auto& constants = OVADBConstants::sharedInstance();
    for (const std::string& root : {constants.SDCardRoot(), constants.mediaLibraryRoot(), std::string("/sdcard")}) {
        auto rest = removingPathPrefix(path, root, true);
        if (!rest)
            continue;
        bool named = false;
        size_t begin = 0;
        while (begin <= rest->size()) {
            size_t end = rest->find('/', begin);
            if (end == std::string::npos)
                end = rest->size();
            const std::string_view component(rest->data() + begin, end - begin);
            if (component == "." || component == "..")
                return false;
            if (!component.empty())
                named = true;
            begin = end + 1;
        }
        return named;
    }
    return false;
}

// "rm -rf" succeeds for a path that is not there, so a name the listing
// could not carry (a mangled line break) would "delete" nothing: each
// target must exist before and be gone after.
std::string removalLine(const std::vector<OVFileRef>& files, size_t begin, size_t end)
{
    std::string targets;
    std::string gone;
    for (size_t i = begin; i < end; ++i) {
        const std::string quoted = adb_quotedForShell(files[i]->path());
        targets += " " + quoted;
        gone += " && test ! -e " + quoted;
    }
    return "ls -d" + targets + " > /dev/null && rm -rf" + targets + gone;
}

Error commandError(const std::string& path, const ShellOutcome& outcome)
{
    return adb_errorForPath(path, outcome.output);
}

void analyse(const ADBRunner& runner, const OVFileRef& file, const BlockOperation& operation, uint64_t& files,
             uint64_t& bytes)
{
    if (!file || operation.isCancelled())
        return;
    if (!file->isDirectory()) {
        ++files;
        bytes += file->size();
        return;
    }
    // Only figures for the progress: a folder that cannot be listed counts as empty.
    for (const auto& child : listPhoneFolder(runner, file).files)
        analyse(runner, child, operation, files, bytes);
}

// The operation waits, after each slice, until the progress block that
// announced the slice has run, so a stop it asks for is never missed. A
// cancel ends the wait (the main queue may no longer be served then).
class ProgressAcknowledgement {
public:
    void done()
    {
        std::lock_guard lock(mutex_);
        done_ = true;
        changed_.notify_all();
    }
    void wait(const BlockOperation& operation)
    {
        std::unique_lock lock(mutex_);
        while (!done_ && !operation.isCancelled())
            changed_.wait_for(lock, std::chrono::milliseconds(50));
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
};

void sendMedia(const std::weak_ptr<OVADBManager>& weakManager, std::vector<uint64_t>& ids,
               std::vector<std::string>& paths)
{
    if (auto manager = weakManager.lock()) {
        queueMediaDeletion(*manager, std::move(ids));
        queueMediaRescan(*manager, std::move(paths));
    }
    ids.clear();
    paths.clear();
}

// One deletion as it runs on the adb queue: its figures, one step per slice
// of records, and the report at the end. Used on the operation's thread only.
class DeleteTransfer {
public:
    struct Callbacks {
        OVADBManager::AnalysisCallback analysis;
        OVADBManager::DeleteProgressCallback progress;
        OVADBManager::ErrorCallback finish;
    };

    DeleteTransfer(std::weak_ptr<OVADBManager> manager, ADBRunner runner, BlockOperation& op,
                   const std::vector<OVFileRef>& files, bool needUpdateMediaLibrary, Callbacks callbacks)
        : manager_(std::move(manager)),
          runner_(std::move(runner)),
          op_(op),
          files_(files),
          needUpdateMediaLibrary_(needUpdateMediaLibrary),
          callbacks_(std::move(callbacks)),
          slice_(deleteSliceSize(files.size()))
    {
    }

    void run()
    {
        plan();
        for (size_t begin = 0; begin < files_.size(); begin += slice_) {
            if (!step(begin, std::min(files_.size(), begin + slice_)))
                break;
        }
        finish();
    }

private:
    // Counts the files and bytes below the records for the caller's progress.
    void plan()
    {
        uint64_t fileCount = 0;
        uint64_t bytes = 0;
        for (const auto& file : files_)
            analyse(runner_, file, op_, fileCount, bytes);
        if (!op_.isCancelled()) {
            onMainQueue([analysis = callbacks_.analysis, fileCount, bytes] {
                if (analysis)
                    analysis(fileCount, bytes);
            });
        }
    }

    // Announces the slice, removes it with one child, and passes what it
    // removed on to the media library. False ends the deletion.
    bool step(size_t begin, size_t end)
    {
        auto acknowledgement = std::make_shared<ProgressAcknowledgement>();
        if (callbacks_.progress) {
            onMainQueue([progress = callbacks_.progress, first = files_[begin], stop = stop_, acknowledgement] {
                progress(first, *stop);
                acknowledgement->done();
            });
        } else {
            acknowledgement->done();
        }
        if (op_.isCancelled())
            *stop_ = true;  // the announced slice still goes

        ShellOutcome outcome = shellOutcome(runner_.shell({shellLineWithStatus(removalLine(files_, begin, end))}));
        // A cancel ends the child: a stop, not the phone's failure.
        if (op_.isCancelled())
            *stop_ = true;
        else if (!outcome.succeeded())
            error_ = commandError(files_[begin]->path(), outcome);
        acknowledgement->wait(op_);
        if (op_.isCancelled())
            *stop_ = true;

        if (needUpdateMediaLibrary_ && !error_)
            collectMedia(begin, end);
        const bool nearTheEnd = files_.size() - end <= slice_;
        if (mediaIds_.size() >= slice_ || mediaPaths_.size() >= slice_ || nearTheEnd || *stop_ || error_)
            sendMedia(manager_, mediaIds_, mediaPaths_);
        return !*stop_ && !error_;
    }

    // Library records leave the library by id, media files by a rescan of
    // their path; a folder takes its whole slice to the media scanner, once.
    void collectMedia(size_t begin, size_t end)
    {
        bool folderAnnounced = false;
        for (size_t i = begin; i < end; ++i) {
            const OVFileRef& record = files_[i];
            uint64_t id = 0;
            if (auto image = std::dynamic_pointer_cast<OVImageFile>(record))
                id = image->imageId();
            else if (auto video = std::dynamic_pointer_cast<OVVideoFile>(record))
                id = video->videoId();
            if (id > 0) {
                mediaIds_.push_back(id);
            } else if (record->isDirectory()) {
                if (!folderAnnounced) {
                    folderAnnounced = true;
                    if (auto manager = manager_.lock())
                        manager->updateMediaLibraryForFiles(std::vector<OVADBManager::MediaScanItem>(
                            files_.begin() + static_cast<long>(begin), files_.begin() + static_cast<long>(end)));
                }
            } else if (isMediaFile(record->path())) {
                mediaPaths_.push_back(relativePathToSDCard(record->path()));
            }
        }
    }

    void finish()
    {
        onMainQueue([finish = callbacks_.finish, error = error_] {
            if (finish)
                finish(error);
        });
    }

    const std::weak_ptr<OVADBManager> manager_;
    const ADBRunner runner_;
    BlockOperation& op_;
    const std::vector<OVFileRef>& files_;
    const bool needUpdateMediaLibrary_;
    const Callbacks callbacks_;
    const size_t slice_;
    // Shared with the progress blocks on the main queue, which may set it.
    const std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);

    std::optional<Error> error_;
    std::vector<uint64_t> mediaIds_;
    std::vector<std::string> mediaPaths_;
};

}  // namespace

OperationRef OVADBManager::deleteOVFiles(const std::vector<OVFileRef>& files, bool needUpdateMediaLibrary,
                                         AnalysisCallback analysis, DeleteProgressCallback progress,
                                         ErrorCallback finish)
{
    if (serialNumber().empty()) {
        if (finish)
            finish(adb_errorWithCode(ADBErrorNotConnected));
        return nullptr;
    }
    for (const auto& file : files) {
        if (!file || !isDeletablePhonePath(file->path())) {
            Error error = adb_errorWithCode(ADBErrorInvalidArgument);
            error.info["path"] = file ? file->path() : std::string();
            if (finish)
                finish(error);
            return nullptr;
        }
    }

    std::weak_ptr<OVADBManager> weakSelf = weak_from_this();
    DeleteTransfer::Callbacks callbacks{std::move(analysis), std::move(progress), std::move(finish)};
    auto operation = makeBlockOperation([weakSelf, files, needUpdateMediaLibrary, callbacks](BlockOperation& op) {
        const std::optional<ADBRunner> runner = runnerOf(weakSelf);
        if (!runner)
            return;
        DeleteTransfer(weakSelf, *runner, op, files, needUpdateMediaLibrary, callbacks).run();
    });
    adbOperationQueue().addOperation(operation);
    return operation;
}

// ----------------------------------------------------------------- rename

namespace {

std::string withoutTrailingSlash(std::string path)
{
    if (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// A line break is refused too: phones whose ls cannot escape names would
// list such a name as two entries that do not exist.
bool isAcceptableName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find_first_of(std::string("/\n\0", 3)) == std::string::npos;
}

}  // namespace

OperationRef OVADBManager::renameFile(const OVFileRef& file, const std::string& name, ErrorCallback finish)
{
    auto fail = [&finish](Error error) -> OperationRef {
        onMainQueue([finish, error] {
            if (finish)
                finish(error);
        });
        return nullptr;
    };
    if (serialNumber().empty())
        return fail(adb_errorWithCode(ADBErrorNotConnected));
    // Only entries inside the shared storage are renamed; the storage root
    // and the system's folders stay where they are.
    if (!file || !isDeletablePhonePath(file->path()) || !isAcceptableName(name)) {
        Error error = adb_errorWithCode(ADBErrorInvalidArgument);
        error.info["name"] = name;
        return fail(error);
    }

    const std::string oldPath = withoutTrailingSlash(file->path());
    const std::string newPath = withoutTrailingSlash(appendingPathComponent(deletingLastPathComponent(oldPath), name));
    if (newPath == oldPath) {
        onMainQueue([finish] {
            if (finish)
                finish(std::nullopt);
        });
        return nullptr;
    }

    // "mv" onto an existing name would replace that file, or move the entry
    // into that folder; the phone refuses the rename instead.
    const std::string line = "test -e " + adb_quotedForShell(newPath) + " && echo __orv_exists || mv " +
                             adb_quotedForShell(oldPath) + " " + adb_quotedForShell(newPath);
    return excuteShellInQueue({shellLineWithStatus(line)}, [file, name, newPath, finish](
                                                                std::optional<std::string> output,
                                                                std::optional<Error> wrapperError) {
        std::optional<Error> error = wrapperError;
        if (!error) {
            ShellOutcome outcome = shellOutcome(output);
            bridgeLog("r=" + outcome.output);
            if (outcome.output.find("__orv_exists") != std::string::npos) {
                Error clash = adb_errorWithCode(ADBErrorInvalidArgument);
                clash.info["path"] = newPath;
                clash.info["reason"] = "exists";
                error = clash;
            } else if (!outcome.succeeded()) {
                error = commandError(newPath, outcome);
            } else {
                file->setPath(newPath);
                file->setName(name);
            }
        }
        onMainQueue([finish, error] {
            if (finish)
                finish(error);
        });
    });
}

// ------------------------------------------------------------- broadcasts

void OVADBManager::updateMediaLibraryForFiles(const std::vector<MediaScanItem>& items)
{
    if (serialNumber().empty() || items.empty())
        return;
    // On the companion queue rather than a global one, so the broadcasts end
    // with the manager like the rest of its work.
    auto operation = makeBlockOperation([runner = runner(), items](BlockOperation& op) {
        for (const auto& item : items) {
            if (op.isCancelled())
                return;
            std::string path;
            const char* action = kScanFileAction;
            if (const auto* text = std::get_if<std::string>(&item)) {
                path = *text;
            } else if (const auto& record = std::get<OVFileRef>(item)) {
                path = record->path();
                if (std::dynamic_pointer_cast<OVDirectoryFile>(record))
                    action = kScanFolderAction;
            }
            if (path.empty())
                continue;
            runner.shell({"am", "broadcast", "-a", action, "-d", adb_quotedForShell("file://" + path)});
        }
    });
    adbForwardOperationQueue().addOperation(operation);
}

}  // namespace orv
