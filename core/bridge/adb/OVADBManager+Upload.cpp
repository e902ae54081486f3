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
    const std::string destinationPath = destination->path();
    std::weak_ptr<OVADBManager> weakSelf = weak_from_this();
    auto work = [weakSelf, hostPaths, destinationPath, needUpdateMediaLibrary, analysis, preupload, progress,
                 postupload, finish](BlockOperation& op) {
        const std::optional<ADBRunner> found = runnerOf(weakSelf);
        if (!found)
            return;
        const ADBRunner& runner = *found;
        auto relay = std::make_shared<TransferProgressRelay>();

        const auto cancelWatch = relay->watchCancel(op);

        const UploadPlan plan = planUpload(hostPaths, destinationPath);
        for (const auto& item : plan.items)
            bridgeLog(item->description());
        onMainQueue([analysis, files = plan.files, bytes = plan.bytes] {
            if (analysis)
                analysis(files, bytes);
        });

        std::optional<Error> error;
        uint64_t pushed = 0;
        std::vector<std::string> mediaPaths;
        const size_t batch = mediaBatchSize(plan.items.size());
        auto flushMedia = [&] {
            if (mediaPaths.empty())
                return;
            if (auto self = weakSelf.lock())
                queueMediaRescan(*self, std::move(mediaPaths));
            mediaPaths.clear();
        };

        std::set<std::string> cleanedFolders;
        std::string said;
        if (!relay->stopped(op) && !runMarked(runner, "mkdir -p " + adb_quotedForShell(destinationPath), said))
            error = adb_errorForPath(destinationPath, said);

        for (size_t index = 0; index < plan.items.size() && !error && !relay->stop; ++index) {
            const auto& item = plan.items[index];
            if (relay->stopped(op))
                break;
            std::string phonePath = item->deviceFilePath();
            if (item->isDir()) {
                if (!runMarked(runner, "mkdir -p " + adb_quotedForShell(phonePath), said))
                    error = adb_errorForPath(phonePath, said);
                continue;
            }
            const std::string hostPath = item->hostFilePath();

            switch (phoneEntry(runner, phonePath, said)) {
            case PhoneEntry::Unknown:
                error = adb_errorForPath(phonePath, said);
                break;
            case PhoneEntry::Folder: {
                // A file never replaces a folder of the same name.
                Error clash = adb_errorForPath(phonePath, said);
                clash.info["reason"] = "a folder of that name exists";
                error = clash;
                break;
            }
            case PhoneEntry::File: {
                const int64_t action = askClash(preupload, phonePath, hostPath, op, relay);
                if (action == UploadStop) {
                    op.cancel();
                    relay->stop = true;
                } else if (action == UploadKeepBoth && !relay->stop) {
                    if (auto free = freeNameFor(runner, phonePath, error))
                        phonePath = *free;
                }
                break;
            }
            case PhoneEntry::Missing:
                break;
            }
            if (error || relay->stop)
                break;

            // Parts a cut-off push left behind go before the first push into
            // each folder.
            if (cleanedFolders.insert(deletingLastPathComponent(phonePath)).second)
                UploadPartFiles::removeLeftovers(runner, deletingLastPathComponent(phonePath));
            PushOutcome outcome = pushFile(runner, op, relay, hostPath, phonePath, progress);
            if (postupload)
                postupload(phonePath, outcome.pushed);
            if (!outcome.pushed) {
                error = outcome.error;
                break;
            }
            item->setDeviceFilePath(phonePath);
            ++pushed;
            relay->fileCompleted();

            if (needUpdateMediaLibrary && isMediaFile(hostPath)) {
                mediaPaths.push_back(relativePathToSDCard(phonePath));
                if (mediaPaths.size() >= batch || index + 1 == plan.items.size())
                    flushMedia();
            }
        }
        flushMedia();

        const bool stopped = relay->stop.load();
        if (stopped)
            error.reset();  // a stop is the caller's wish, never a failure
        onMainQueue([finish, error, pushed, stopped] {
            if (finish)
                finish(error, pushed, stopped);
        });
    };
    auto operation = makeBlockOperation(std::move(work));
    adbOperationQueue().addOperation(operation);
    return operation;
}

}  // namespace orv
