#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <set>

#include "core/bridge/facade/ADBError.h"
#include "core/bridge/adb/ADBStrings.h"
#include "core/bridge/companion/MediaRefresh.h"
#include "core/bridge/adb/OVADBManager.h"
#include "core/bridge/adb/OVADBManagerOperation.h"
#include "core/bridge/adb/PhonePath.h"
#include "core/bridge/adb/ShellStatus.h"
#include "core/bridge/adb/TransferProgressRelay.h"
#include "core/bridge/adb/UploadPartFiles.h"
#include "core/bridge/adb/UploadPlan.h"

namespace orv {

namespace {

// Media rescans are batched so a large import sends few companion requests.
size_t mediaBatchSize(size_t items)
{
    if (items > 500)
        return 20;
    if (items <= 200)
        return 5;
    return 10;
}

enum class PhoneEntry { Missing, File, Folder, Unknown };

// What the phone has at `path`; Unknown when the phone's answer makes no
// sense (adb failed, the phone went away), which callers treat as an error.
PhoneEntry phoneEntry(const ADBRunner& runner, const std::string& path, std::string& said)
{
    const std::string quoted = adb_quotedForShell(path);
    ShellOutcome outcome =
        shellOutcome(runner.shell({shellLineWithStatus("test -d " + quoted + " && echo __orv_folder; test -e " + quoted)}));
    said = outcome.output;
    if (outcome.status == 1)
        return PhoneEntry::Missing;
    if (outcome.status != 0)
        return PhoneEntry::Unknown;
    return outcome.output.find("__orv_folder") != std::string::npos ? PhoneEntry::Folder : PhoneEntry::File;
}

bool runMarked(const ADBRunner& runner, const std::string& line, std::string& said)
{
    ShellOutcome outcome = shellOutcome(runner.shell({shellLineWithStatus(line)}));
    said = outcome.output;
    return outcome.succeeded();
}

// "name_1.ext" for "keep both": the first name of that form the phone does
// not have. A name without extension gets no trailing point. Bounded, and an
// answer that is neither "there" nor "not there" ends the search.
std::optional<std::string> freeNameFor(const ADBRunner& runner, const std::string& phonePath, std::optional<Error>& error)
{
    const std::string folder = deletingLastPathComponent(phonePath);
    const std::string name = lastPathComponent(phonePath);
    std::string extension = pathExtension(name);
    std::string base = extension.empty() ? name : name.substr(0, name.size() - extension.size() - 1);
    if (base.empty()) {  // ".profile": all extension, no base
        base = name;
        extension.clear();
    }
    constexpr int kAttempts = 1000;
    for (int number = 1; number <= kAttempts; ++number) {
        std::string candidate = base + "_" + std::to_string(number);
        if (!extension.empty())
            candidate += "." + extension;
        const std::string path = appendingPathComponent(folder, candidate);
        std::string said;
        switch (phoneEntry(runner, path, said)) {
        case PhoneEntry::Missing:
            return path;
        case PhoneEntry::Unknown:
            error = adb_errorForPath(path, said);
            return std::nullopt;
        default:
            break;
        }
    }
    Error exhausted = adb_errorWithCode(ADBErrorGeneric);
    exhausted.info["path"] = phonePath;
    exhausted.info["reason"] = "no free name";
    error = exhausted;
    return std::nullopt;
}

// Asks the pre-upload block on the main queue and waits for its answer. A
// cancel ends the wait, and a cancelled upload asks nothing.
int64_t askClash(const OVADBManager::PreuploadCallback& preupload, const std::string& phonePath,
                 const std::string& hostPath, BlockOperation& op, const std::shared_ptr<TransferProgressRelay>& relay)
{
    struct Answer {
        std::mutex mutex;
        std::condition_variable answered;
        bool done = false;
        int64_t action = OVADBManager::UploadReplace;
    };
    auto answer = std::make_shared<Answer>();
    auto weakOp = std::weak_ptr<Operation>(op.shared_from_this());
    onMainQueue([answer, preupload, phonePath, hostPath, weakOp, relay] {
        auto strongOp = weakOp.lock();
        int64_t action = OVADBManager::UploadReplace;
        if (!strongOp || strongOp->isCancelled())
            relay->stop = true;
        else if (preupload)
            preupload(phonePath, hostPath, action);
        std::lock_guard lock(answer->mutex);
        answer->action = action;
        answer->done = true;
        answer->answered.notify_all();
    });
    std::unique_lock lock(answer->mutex);
    while (!answer->done && !op.isCancelled())
        answer->answered.wait_for(lock, std::chrono::milliseconds(50));
    if (!answer->done)
        relay->stop = true;
    return answer->action;
}

struct PushOutcome {
    bool pushed = false;
    std::optional<Error> error;
};

PushOutcome pushFile(const ADBRunner& runner, BlockOperation& op, const std::shared_ptr<TransferProgressRelay>& relay,
                     const std::string& hostPath, const std::string& phonePath,
                     const OVADBManager::UploadProgressCallback& progress)
{
    PushOutcome outcome;
    // A hidden name in the phone folder for the push in flight; the file
    // takes its real name only once complete, so a stopped or failed push
    // never leaves a truncated file in place of the phone's original.
    const UploadPartFiles::Claim claim(phonePath);
    const std::string& partial = claim.path();
    TransferProgressRelay::Report report;
    if (progress) {
        report = [progress, hostPath](int64_t done, int64_t total, int64_t overallDone) {
            return progress(hostPath, done, total, overallDone);
        };
    }
    ADBCommandResult result =
        relay->runChild(runner, {"push", "-p", hostPath, partial}, op.shared_from_this(), std::move(report));
    // The clean-up's own output never replaces the reason of the failure.
    std::string cleanupSaid;
    if (relay->stopped(op)) {
        runMarked(runner, "rm -f " + adb_quotedForShell(partial), cleanupSaid);
        return outcome;
    }
    if (!result.succeeded()) {
        runMarked(runner, "rm -f " + adb_quotedForShell(partial), cleanupSaid);
        outcome.error = adb_errorForPath(phonePath, result.said());
        return outcome;
    }
    std::string said;
    if (!runMarked(runner, "mv -f " + adb_quotedForShell(partial) + " " + adb_quotedForShell(phonePath), said)) {
        runMarked(runner, "rm -f " + adb_quotedForShell(partial), cleanupSaid);
        outcome.error = adb_errorForPath(phonePath, said);
        return outcome;
    }
    outcome.pushed = true;
    return outcome;
}

// One upload as it runs on the adb queue: its plan, one step per planned
// item, and the report at the end. Used on the operation's thread only.
class UploadTransfer {
public:
    struct Callbacks {
        OVADBManager::AnalysisCallback analysis;
        OVADBManager::PreuploadCallback preupload;
        OVADBManager::UploadProgressCallback progress;
        OVADBManager::PostuploadCallback postupload;
        OVADBManager::UploadFinishCallback finish;
    };

    UploadTransfer(std::weak_ptr<OVADBManager> manager, ADBRunner runner, BlockOperation& op,
                   bool needUpdateMediaLibrary, Callbacks callbacks)
        : manager_(std::move(manager)),
          runner_(std::move(runner)),
          op_(op),
          needUpdateMediaLibrary_(needUpdateMediaLibrary),
          callbacks_(std::move(callbacks))
    {
    }

    void run(const std::vector<std::string>& hostPaths, const std::string& destinationPath)
    {
        const auto cancelWatch = relay_->watchCancel(op_);
        plan(hostPaths, destinationPath);
        for (size_t index = 0; index < plan_.items.size() && !error_ && !relay_->stop; ++index) {
            if (relay_->stopped(op_) || !step(index))
                break;
        }
        finish();
    }

private:
    // Plans the items, tells the caller their count and size, and makes the
    // destination folder.
    void plan(const std::vector<std::string>& hostPaths, const std::string& destinationPath)
    {
        plan_ = planUpload(hostPaths, destinationPath);
        for (const auto& item : plan_.items)
            bridgeLog(item->description());
        onMainQueue([analysis = callbacks_.analysis, files = plan_.files, bytes = plan_.bytes] {
            if (analysis)
                analysis(files, bytes);
        });
        mediaBatch_ = mediaBatchSize(plan_.items.size());
        std::string said;
        if (!relay_->stopped(op_) && !runMarked(runner_, "mkdir -p " + adb_quotedForShell(destinationPath), said))
            error_ = adb_errorForPath(destinationPath, said);
    }

    // One planned item: a folder is made, a file is pushed after any clash
    // with the phone's entry of that name is settled. False ends the upload.
    bool step(size_t index)
    {
        const auto& item = plan_.items[index];
        std::string phonePath = item->deviceFilePath();
        std::string said;
        if (item->isDir()) {
            if (!runMarked(runner_, "mkdir -p " + adb_quotedForShell(phonePath), said))
                error_ = adb_errorForPath(phonePath, said);
            return true;
        }
        const std::string hostPath = item->hostFilePath();
        if (!settleClash(phonePath, hostPath) || error_ || relay_->stop)
            return false;

        // Parts a cut-off push left behind go before the first push into
        // each folder.
        if (cleanedFolders_.insert(deletingLastPathComponent(phonePath)).second)
            UploadPartFiles::removeLeftovers(runner_, deletingLastPathComponent(phonePath));
        PushOutcome outcome = pushFile(runner_, op_, relay_, hostPath, phonePath, callbacks_.progress);
        if (callbacks_.postupload)
            callbacks_.postupload(phonePath, outcome.pushed);
        if (!outcome.pushed) {
            error_ = outcome.error;
            return false;
        }
        item->setDeviceFilePath(phonePath);
        ++pushed_;
        relay_->fileCompleted();

        if (needUpdateMediaLibrary_ && isMediaFile(hostPath)) {
            mediaPaths_.push_back(relativePathToSDCard(phonePath));
            if (mediaPaths_.size() >= mediaBatch_ || index + 1 == plan_.items.size())
                flushMedia();
        }
        return true;
    }

    // What the phone has at the file's path decides: nothing there, go on;
    // a folder, fail; a file, ask the caller (replace, keep both under a free
    // name, or stop). False when the phone's answer made no sense.
    bool settleClash(std::string& phonePath, const std::string& hostPath)
    {
        std::string said;
        switch (phoneEntry(runner_, phonePath, said)) {
        case PhoneEntry::Unknown:
            error_ = adb_errorForPath(phonePath, said);
            return false;
        case PhoneEntry::Folder: {
            // A file never replaces a folder of the same name.
            Error clash = adb_errorForPath(phonePath, said);
            clash.info["reason"] = "a folder of that name exists";
            error_ = clash;
            return false;
        }
        case PhoneEntry::File: {
            const int64_t action = askClash(callbacks_.preupload, phonePath, hostPath, op_, relay_);
            if (action == OVADBManager::UploadStop) {
                op_.cancel();
                relay_->stop = true;
            } else if (action == OVADBManager::UploadKeepBoth && !relay_->stop) {
                if (auto free = freeNameFor(runner_, phonePath, error_))
                    phonePath = *free;
            }
            return true;
        }
        case PhoneEntry::Missing:
            break;
        }
        return true;
    }

    void flushMedia()
    {
        if (mediaPaths_.empty())
            return;
        if (auto manager = manager_.lock())
            queueMediaRescan(*manager, std::move(mediaPaths_));
        mediaPaths_.clear();
    }

    // Sends what media is left and reports on the main queue.
    void finish()
    {
        flushMedia();
        const bool stopped = relay_->stop.load();
        if (stopped)
            error_.reset();  // a stop is the caller's wish, never a failure
        onMainQueue([finish = callbacks_.finish, error = error_, pushed = pushed_, stopped] {
            if (finish)
                finish(error, pushed, stopped);
        });
    }

    const std::weak_ptr<OVADBManager> manager_;
    const ADBRunner runner_;
    BlockOperation& op_;
    const bool needUpdateMediaLibrary_;
    const Callbacks callbacks_;
    const std::shared_ptr<TransferProgressRelay> relay_ = std::make_shared<TransferProgressRelay>();

    UploadPlan plan_;
    size_t mediaBatch_ = 0;
    std::optional<Error> error_;
    uint64_t pushed_ = 0;
    std::vector<std::string> mediaPaths_;
    std::set<std::string> cleanedFolders_;
};

}  // namespace

OperationRef OVADBManager::uploadFiles(const std::vector<std::string>& hostPaths, const OVFileRef& destination,
                                       bool needUpdateMediaLibrary, AnalysisCallback analysis,
                                       PreuploadCallback preupload, UploadProgressCallback progress,
                                       PostuploadCallback postupload, UploadFinishCallback finish)
{
    if (serialNumber().empty() || !destination || destination->path().empty()) {
        const long code = serialNumber().empty() ? ADBErrorNotConnected : ADBErrorInvalidArgument;
        onMainQueue([finish, code] {
            if (finish)
                finish(adb_errorWithCode(code), 0, false);
        });
        return nullptr;
    }
    std::weak_ptr<OVADBManager> weakSelf = weak_from_this();
    UploadTransfer::Callbacks callbacks{std::move(analysis), std::move(preupload), std::move(progress),
                                        std::move(postupload), std::move(finish)};
    auto operation = makeBlockOperation([weakSelf, hostPaths, destinationPath = destination->path(),
                                         needUpdateMediaLibrary, callbacks](BlockOperation& op) {
        const std::optional<ADBRunner> runner = runnerOf(weakSelf);
        if (!runner)
            return;
        UploadTransfer(weakSelf, *runner, op, needUpdateMediaLibrary, callbacks).run(hostPaths, destinationPath);
    });
    adbOperationQueue().addOperation(operation);
    return operation;
}

}  // namespace orv
