// The keep-alive connection and the registrations it serves. The manager
// keeps every registration, so a rebuilt connection serves them again.

#include "core/bridge/companion/OVADBForwardKeepAliveOperation.h"
#include "core/bridge/adb/OVADBManager.h"
#include "core/bridge/adb/OVADBManagerOperation.h"
#include "core/bridge/model/OVDevice.h"
#include "core/bridge/companion/RecordValues.h"

namespace orv {

std::shared_ptr<OVADBForwardKeepAliveOperation> OVADBManager::keepAliveOperation()
{
    std::lock_guard monitor(keepAliveMonitor_);
    for (const auto& queued : keepAliveOperationQueue().operations()) {
        // A cancelled connection waits in the queue only to be finished.
        if (queued->isCancelled() || queued->isFinished())
            continue;
        if (auto running = std::dynamic_pointer_cast<OVADBForwardKeepAliveOperation>(queued))
            return running;
    }

    auto operation = OVADBForwardKeepAliveOperation::make();
    operation->setSocketPort(socketPort());
    operation->setDidReceiveHeartBeatBlock([] {});
    if (auto block = deviceInfoChangedBlock())
        operation->setDeviceInfoChangedBlock(block);
    if (auto block = photoLibraryChangedBlock())
        operation->setPhotoLibraryChangedBlock(block);
    if (auto block = videoLibraryChangedBlock())
        operation->setVideoLibraryChangedBlock(block);
    if (auto block = audioLibraryChangedBlock())
        operation->setAudioLibraryChangedBlock(block);
    operation->setFileChangeBlocks(fileChangeBlocks());
    keepAliveOperationQueue().addOperation(operation);
    return operation;
}

void OVADBManager::registerDeviceInfoChangeForDevice(const std::shared_ptr<OVDevice>& device,
                                                     DeviceInfoChangedBlock callback)
{
    DeviceInfoChangedBlock wrapper = [device, callback](const nlohmann::json& info, std::optional<Error> error) {
        onMainQueue([device, callback, info, error] {
            if (device && info.is_object()) {
                if (auto it = info.find("battery_level"); it != info.end())
                    if (auto level = recordInteger(*it))
                        device->setBattery(*level);
                if (auto it = info.find("device_name"); it != info.end())
                    if (auto name = recordString(*it))
                        device->setFriendlyName(*name);
            }
            if (callback)
                callback(info, error);
        });
    };
    // Kept first, so a connection made now carries it from its first frame.
    setDeviceInfoChangedBlock(wrapper);
    keepAliveOperation()->setDeviceInfoChangedBlock(wrapper);
}

void OVADBManager::registerMediaLibraryChange(uint64_t fileType, LibraryChangedBlock block)
{
    switch (fileType) {
    case OVFile::TypeImage:
        setPhotoLibraryChangedBlock(block);
        keepAliveOperation()->setPhotoLibraryChangedBlock(block);
        break;
    case OVFile::TypeVideo:
        setVideoLibraryChangedBlock(block);
        keepAliveOperation()->setVideoLibraryChangedBlock(block);
        break;
    case OVFile::TypeAudio:
        setAudioLibraryChangedBlock(block);
        keepAliveOperation()->setAudioLibraryChangedBlock(block);
        break;
    default:
        break;
    }
}

void OVADBManager::watchDirectory(const OVFileRef& folder, FileChangeBlock block)
{
    if (!block)
        return;
    FileChangeBlock wrapper = [block](const std::string& event, const std::string& path) {
        onMainQueue([block, event, path] { block(event, path); });
    };
    setFileChangeBlocks(keepAliveOperation()->watchFiles({folder}, wrapper));
}

void OVADBManager::unwatchDirectory(const OVFileRef& folder)
{
    setFileChangeBlocks(keepAliveOperation()->unwatchFileChange({folder}));
}

}  // namespace orv
