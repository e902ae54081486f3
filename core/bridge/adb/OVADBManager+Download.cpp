#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/bridge/facade/ADBError.h"
#include "core/bridge/adb/ADBStrings.h"
#include "core/bridge/adb/OVADBManager.h"
#include "core/bridge/adb/OVADBManagerOperation.h"
#include "core/bridge/model/OVAlbum.h"
#include "core/bridge/model/OVDirectoryFile.h"
#include "core/bridge/adb/PhoneFolderListing.h"
#include "core/bridge/adb/PhonePath.h"
#include "core/bridge/adb/TransferProgressRelay.h"

namespace fs = std::filesystem;

namespace orv {

namespace {

struct PlannedFile {
    OVFileRef file;
    std::string relativePath;  // below the destination, beginning with "/"
};

struct DownloadPlan {
    std::vector<PlannedFile> files;         // to pull, in planning order
    std::vector<PlannedFile> emptyFolders;  // to create at the end
    uint64_t bytes = 0;
    std::optional<Error> error;  // a folder could not be listed
};

Error transferError(const std::string& phonePath, const ADBCommandResult& result)
{
    return adb_errorForPath(phonePath, result.said());
}

// One name of the phone as a component of a computer path: a name that could
// climb out of the destination ("..", "/", empty) falls back to the last
// component of the phone path, then to "_".
std::string hostComponent(const std::string& name, const std::string& phonePath)
{
    std::string component = hostPathComponent(name);
    if (component.empty())
        component = hostPathComponent(lastPathComponent(phonePath));
    return component.empty() ? "_" : component;
}

// Album names lose these characters at both ends before they name a folder.
std::string trimmedAlbumName(const std::string& name)
{
    const std::string_view unsafe = "/\\?%*|\"<>";
    size_t first = name.find_first_not_of(unsafe);
    if (first == std::string::npos)
        return "";
    size_t last = name.find_last_not_of(unsafe);
    return name.substr(first, last - first + 1);
}

// The listing of a folder being planned; a listing that could not be run
// fails the plan rather than passing for an empty folder.
std::vector<OVFileRef> planningListing(const ADBRunner& runner, const OVFileRef& folder, DownloadPlan& plan)
{
    PhoneFolderListing listing = listPhoneFolder(runner, folder);
    if (listing.error)
        plan.error = listing.error;
    return std::move(listing.files);
}

uint64_t planFile(const ADBRunner& runner, const OVFileRef& file, const std::string& parentRelativePath,
                  DownloadPlan& plan)
{
    if (!file || plan.error)
        return 0;
    const std::string relativePath =
        appendingPathComponent(parentRelativePath, hostComponent(file->name(), file->path()));
    file->adb_setRelativePath(relativePath);
    if (!file->isDirectory()) {
        plan.files.push_back({file, relativePath});
        plan.bytes += file->size();
        return file->size();
    }
    std::vector<OVFileRef> listing = planningListing(runner, file, plan);
    if (plan.error)
        return 0;
    if (listing.empty()) {
        plan.emptyFolders.push_back({file, relativePath});
        return 0;
    }
    uint64_t bytes = 0;
    for (const auto& child : listing)
        bytes += planFile(runner, child, relativePath, plan);
    return bytes;
}

// A unique, not yet used name in `folder` for a pull in flight.
std::optional<std::string> reservePartialName(const fs::path& folder)
{
    std::string pattern = (folder / ".orvane-part-XXXXXX").string();
    int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    ::close(fd);
    return pattern;
}

void removeQuietly(const fs::path& path)
{
    std::error_code ignored;
    fs::remove(path, ignored);
}

// Pulls the planned files, one adb child each, and recreates the empty
// folders. Returns an error when a pull failed; a stop is in `relay`.
std::optional<Error> pullPlan(const std::weak_ptr<OVADBManager>& weakManager,
                              const std::shared_ptr<BlockOperation>& operation, const DownloadPlan& plan,
                              const fs::path& destination, const std::shared_ptr<TransferProgressRelay>& relay,
                              const OVADBManager::DownloadProgressCallback& progress)
{
    const auto cancelWatch = relay->watchCancel(*operation);

    for (const auto& [file, relativePath] : plan.files) {
        if (relay->stopped(*operation))
            return std::nullopt;
        const std::optional<ADBRunner> runner = runnerOf(weakManager);
        if (!runner) {
            relay->stop = true;
            return std::nullopt;
        }

        const std::string phonePath = file->path();
        const fs::path target = destination / fs::path(relativePath).relative_path();
        std::error_code error;
        fs::create_directories(target.parent_path(), error);
        auto partial = reservePartialName(target.parent_path());
        if (!partial) {
            Error failure = adb_errorWithCode(ADBErrorGeneric);
            failure.info["path"] = target.string();
            return failure;
        }

        TransferProgressRelay::Report report;
        if (progress) {
            report = [progress, file](int64_t done, int64_t total, int64_t overallDone) {
                return progress(file, done, total, overallDone);
            };
        }
        ADBCommandResult result =
            relay->runChild(*runner, {"pull", "-p", "-a", phonePath, *partial}, operation, std::move(report));

        if (relay->stopped(*operation)) {
            removeQuietly(*partial);
            return std::nullopt;
        }
        if (!result.succeeded() || !fs::is_regular_file(*partial, error)) {
            removeQuietly(*partial);
            return transferError(phonePath, result);
        }
        // A file that changed while it was pulled arrives short (or long)
        // with adb still reporting success; the listing gave its size.
        const uintmax_t arrived = fs::file_size(*partial, error);
        if (!error && file->size() > 0 && arrived != file->size()) {
            removeQuietly(*partial);
            Error failure = adb_errorForPath(phonePath, result.said());
            failure.info["reason"] = "received " + std::to_string(arrived) + " of " +
                                     std::to_string(file->size()) + " bytes";
            return failure;
        }
        fs::rename(*partial, target, error);
        if (error) {
            removeQuietly(*partial);
            Error failure = adb_errorWithCode(ADBErrorGeneric);
            failure.info["path"] = target.string();
            failure.info["reason"] = error.message();
            return failure;
        }
        relay->fileCompleted();
    }

    if (!operation->isCancelled()) {
        for (const auto& folder : plan.emptyFolders) {
            const fs::path target = destination / fs::path(folder.relativePath).relative_path();
            std::error_code error;
            if (!fs::exists(fs::symlink_status(target, error)))
                fs::create_directories(target, error);  // a folder that cannot be made is skipped
        }
    }
    return std::nullopt;
}

using Planner = std::function<void(const ADBRunner&, BlockOperation&, DownloadPlan&, TransferProgressRelay&)>;

OperationRef queueDownload(OVADBManager& manager, const std::string& hostPath, Planner planner,
                           OVADBManager::AnalysisCallback analysis, OVADBManager::DownloadProgressCallback progress,
                           OVADBManager::DownloadFinishCallback finish)
{
    if (manager.serialNumber().empty()) {
        onMainQueue([finish] {
            if (finish)
                finish(adb_errorWithCode(ADBErrorNotConnected), false);
        });
        return nullptr;
    }
    std::weak_ptr<OVADBManager> weakManager = manager.weak_from_this();
    auto operation = std::make_shared<BlockOperation>();
    std::weak_ptr<BlockOperation> weakOperation = operation;
    operation->addExecutionBlock([weakManager, weakOperation, hostPath, planner, analysis, progress, finish] {
        auto op = weakOperation.lock();
        if (!op)
            return;
        auto relay = std::make_shared<TransferProgressRelay>();
        DownloadPlan plan;
        const std::optional<ADBRunner> found = runnerOf(weakManager);
        if (!found)
            return;
        const ADBRunner& runner = *found;
        planner(runner, *op, plan, *relay);
        if (!plan.error) {
            onMainQueue([analysis, count = plan.files.size(), bytes = plan.bytes] {
                if (analysis)
                    analysis(count, bytes);
            });
        }
        std::optional<Error> error = plan.error;
        if (op->isCancelled())
            relay->stop = true;
        if (!error && !relay->stop)
            error = pullPlan(weakManager, op, plan, fs::path(hostPath), relay, progress);
        const bool stopped = relay->stop.load();
        if (stopped)
            error.reset();  // a stop is the caller's wish, never a failure
        onMainQueue([finish, error, stopped] {
            if (finish)
                finish(error, stopped);
        });
    });
    // Low, so listings the user waits for go ahead of a long transfer.
    operation->setQueuePriority(QueuePriority::Low);
    manager.adbOperationQueue().addOperation(operation);
    return operation;
}

}  // namespace

uint64_t OVADBManager::getHostFileInfo(const OVFileRef& file, const std::string& parentRelativePath,
                                       std::vector<OVFileRef>& emptyDirectory, std::vector<OVFileRef>& pullingFiles)
{
    DownloadPlan plan;
    uint64_t bytes = planFile(runner(), file, parentRelativePath, plan);
    for (auto& planned : plan.emptyFolders)
        emptyDirectory.push_back(planned.file);
    for (auto& planned : plan.files)
        pullingFiles.push_back(planned.file);
    return bytes;
}

OperationRef OVADBManager::downloadFiles(const std::vector<OVFileRef>& files, const std::string& hostPath,
                                         AnalysisCallback analysis, DownloadProgressCallback progress,
                                         DownloadFinishCallback finish)
{
    Planner planner = [files](const ADBRunner& runner, BlockOperation&, DownloadPlan& plan, TransferProgressRelay&) {
        for (const auto& file : files)
            planFile(runner, file, "/", plan);
    };
    return queueDownload(*this, hostPath, std::move(planner), std::move(analysis), std::move(progress),
                         std::move(finish));
}

OperationRef OVADBManager::downloadAlbums(const std::vector<std::shared_ptr<OVAlbum>>& albums,
                                          const std::string& hostPath, AnalysisCallback analysis,
                                          DownloadProgressCallback progress, DownloadFinishCallback finish)
{
    Planner planner = [albums](const ADBRunner& runner, BlockOperation& op, DownloadPlan& plan,
                               TransferProgressRelay& relay) {
        for (const auto& album : albums) {
            if (!album)
                continue;
            const std::string folder = hostComponent(trimmedAlbumName(album->name()), album->path());
            const std::string parent = "/" + folder + "/";
            for (const auto& child : album->children().value_or(std::vector<OVFileRef>{})) {
                planFile(runner, child, parent, plan);
                if (op.isCancelled()) {
                    relay.stop = true;
                    return;
                }
            }
        }
    };
    return queueDownload(*this, hostPath, std::move(planner), std::move(analysis), std::move(progress),
                         std::move(finish));
}

// ------------------------------------------------------------- screenshot

namespace {

constexpr const char* kPhoneScreenshot = "/sdcard/ovscreenshot.png";

bool looksLikePNG(const std::vector<uint8_t>& bytes)
{
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    return bytes.size() > 8 && std::equal(signature, signature + 8, bytes.begin());
}


// Screenshots of one phone are serialised: they share the file on the phone.
void takeScreenshot(const ADBRunner& runner, std::mutex& serialise, std::optional<std::vector<uint8_t>>& picture,
                    std::optional<Error>& error)
{
    std::lock_guard lock(serialise);

    // An old capture left on the phone must never pass for a new one.
    runner.shell({"rm", "-f", kPhoneScreenshot});
    runner.shell({"screencap", "-p", kPhoneScreenshot});

    // Each call pulls into a fresh private folder, so a failed capture
    // cannot hand back an older picture or another phone's.
    std::string folder = (fs::temp_directory_path() / "orvane-screenshot-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) {
        error = adb_errorWithCode(ADBErrorGeneric);
    } else {
        const fs::path local = fs::path(folder) / "ovscreenshot.png";
        ADBCommandResult result = runner.run({"pull", "-p", kPhoneScreenshot, local.string()},
                                             [](const std::shared_ptr<Process>&, const ADBProgress&) {});
        std::ifstream in(local, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (result.succeeded() && looksLikePNG(bytes))
            picture = std::move(bytes);
        else
            error = transferError(kPhoneScreenshot, result);
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    runner.shell({"rm", kPhoneScreenshot});
}

}  // namespace

OperationRef OVADBManager::screenshotWitchCallback(ScreenshotCallback callback)
{
    if (serialNumber().empty()) {
        onMainQueue([callback] {
            if (callback)
                callback(std::nullopt, adb_errorWithCode(ADBErrorNotConnected));
        });
        return nullptr;
    }
    const ADBRunner runner = this->runner();
    auto operation = makeBlockOperation([runner, serialise = screenshotMutex_, callback](BlockOperation& op) {
        std::optional<std::vector<uint8_t>> picture;
        std::optional<Error> error;
        takeScreenshot(runner, *serialise, picture, error);
        deliverOnMainQueue(op.weak_from_this(), [callback, picture = std::move(picture), error] {
            if (callback)
                callback(picture, error);
        });
    });
    adbOperationQueue().addOperation(operation);
    return operation;
}

}  // namespace orv
