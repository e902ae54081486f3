#include <algorithm>

#include "core/bridge/facade/ADBError.h"
#include "core/bridge/adb/ADBStrings.h"
#include "core/bridge/adb/OVADBManager.h"
#include "core/bridge/adb/OVADBManagerOperation.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/model/OVDirectoryFile.h"
#include "core/bridge/adb/PhoneFolderListing.h"

namespace orv {

std::vector<OVFileRef> OVADBManager::files(uint64_t typeFlags, const std::shared_ptr<OVFile>& folder)
{
    return listPhoneFolder(runner(), folder, typeFlags).files;
}

OperationRef OVADBManager::filesInDirectory(const std::shared_ptr<OVFile>& folder, uint64_t typeFlags,
                                            FilesCallback callback)
{
    auto fail = [&callback](long code) {
        onMainQueue([callback, code] {
            if (callback)
                callback({}, adb_errorWithCode(code));
        });
        return nullptr;
    };
    if (!folder || !folder->isDirectory() || folder->path().empty())
        return fail(ADBErrorInvalidArgument);
    if (serialNumber().empty())
        return fail(ADBErrorNotConnected);

    std::weak_ptr<OVADBManager> weakSelf = weak_from_this();
    auto operation = makeBlockOperation([weakSelf, folder, typeFlags, callback](BlockOperation& op) {
        const std::optional<ADBRunner> found = runnerOf(weakSelf);
        if (!found)
            return;
        const ADBRunner& runner = *found;
        PhoneFolderListing listing = listPhoneFolder(runner, folder, typeFlags);
        if (op.isCancelled())
            return;
        deliverOnMainQueue(op.weak_from_this(), [callback, listing = std::move(listing)] {
            if (callback)
                callback(listing.files, listing.error);
        });
    });
    adbOperationQueue().addOperation(operation);
    return operation;
}

OperationRef OVADBManager::filesInRootWithCallback(FilesCallback callback)
{
    return filesInDirectory(OVDeviceClient::rootDir(), 0, std::move(callback));
}

bool OVADBManager::fileExistInDevice(const std::string& path)
{
    auto output = performShell({"ls", "-a", adb_quotedForShell(path)});
    if (!output || output->empty())
        return false;
    std::string lower = *output;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    if (lower.find("no such") != std::string::npos)
        return false;
    bridgeLog("lsResponse=" + *output);
    return true;
}

OperationRef OVADBManager::countFiles(const std::shared_ptr<OVFile>& folder, CountCallback callback)
{
    auto fail = [&callback](long code) {
        onMainQueue([callback, code] {
            if (callback)
                callback(0, adb_errorWithCode(code));
        });
        return nullptr;
    };
    if (!folder || folder->path().empty())
        return fail(ADBErrorInvalidArgument);
    if (serialNumber().empty())
        return fail(ADBErrorNotConnected);

    std::weak_ptr<OVADBManager> weakSelf = weak_from_this();
    const std::string path = folder->path();
    auto operation = makeBlockOperation([weakSelf, path, callback](BlockOperation& op) {
        const std::optional<ADBRunner> found = runnerOf(weakSelf);
        if (!found)
            return;
        const ADBRunner& runner = *found;
        // Regular files down to five levels, leaving out every path that has
        // a component beginning with a point.
        std::optional<std::string> output =
            runner.shell({"find", adb_quotedForShell(path), "-maxdepth 5 -not -path '*/\\.*' -type f | wc -l"});
        const int64_t count = integerValue(output.value_or(""));
        deliverOnMainQueue(op.weak_from_this(), [callback, count] {
            if (callback)
                callback(count, std::nullopt);
        });
    });
    // Counts only fill in figures; everything else on the queue goes first.
    operation->setQueuePriority(QueuePriority::VeryLow);
    adbOperationQueue().addOperation(operation);
    return operation;
}

OperationRef OVADBManager::countFilesInRoot(CountCallback callback)
{
    return countFiles(OVDeviceClient::rootDir(), std::move(callback));
}

OperationRef OVADBManager::countFilesInDownload(CountCallback callback)
{
    return countFiles(OVDeviceClient::downloadDir(), std::move(callback));
}

OperationRef OVADBManager::countFilesInAudio(CountCallback callback)
{
    return countFiles(OVDeviceClient::audioDir(), std::move(callback));
}

OperationRef OVADBManager::countFilesInVideo(CountCallback callback)
{
    return countFiles(OVDeviceClient::videoDir(), std::move(callback));
}

}  // namespace orv
