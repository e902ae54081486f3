// Library fetches and thumbnails over the companion service, and the
// thumbnail waiting list that the pump feeds into the thumbnail queue.

#include "core/bridge/facade/ADBError.h"
#include "core/bridge/companion/OVADBForwardFileThumbnailOperation.h"
#include "core/bridge/companion/OVADBForwardMediaFetchOperation.h"
#include "core/bridge/companion/OVADBForwardMediaThumbnailOperation.h"
#include "core/bridge/adb/OVADBManager.h"
#include "core/bridge/adb/OVADBManagerOperation.h"

namespace orv {

namespace {

constexpr size_t kMaxWaitingThumbnailOperations = 500;

// The operation a caller holds, seen from its own callback: set once the
// operation exists, read when the outcome arrives.
using CallerOperation = std::shared_ptr<std::weak_ptr<Operation>>;

// Calls back on the main queue unless the caller has cancelled meanwhile.
void deliverOnMainQueue(const CallerOperation& caller, std::function<void()> call)
{
    deliverOnMainQueue(*caller, std::move(call));
}

}  // namespace

// ------------------------------------------------------------ library fetch

namespace {

OperationRef fetchLibrary(OVADBManager& manager, int8_t type, OVADBManager::LibraryCallback callback)
{
    auto caller = std::make_shared<std::weak_ptr<Operation>>();
    auto operation = OVADBForwardMediaFetchOperation::initWithrequestType(
        type, [caller, callback](std::optional<OVMediaLibrary> library, std::optional<Error> error) {
            deliverOnMainQueue(caller, [callback, library = std::move(library), error = std::move(error)] {
                if (callback)
                    callback(library, error);
            });
        });
    *caller = operation;
    operation->setSocketPort(manager.socketPort());
    manager.adbForwardOperationQueue().addOperation(operation);
    return operation;
}

}  // namespace

OperationRef OVADBManager::fetchPhotoLibraryWithCallback(LibraryCallback callback)
{
    return fetchLibrary(*this, OVADBForwardMediaFetchOperation::Photo, std::move(callback));
}

OperationRef OVADBManager::fetchAudioLibraryWithCallback(LibraryCallback callback)
{
    return fetchLibrary(*this, OVADBForwardMediaFetchOperation::Audio, std::move(callback));
}

OperationRef OVADBManager::fetchVideoLibraryWithCallback(LibraryCallback callback)
{
    return fetchLibrary(*this, OVADBForwardMediaFetchOperation::Video, std::move(callback));
}

// --------------------------------------------------------------- thumbnails

OperationRef OVADBManager::thumbnailsForImages(const std::vector<OVFileRef>& images, ThumbnailCallback callback)
{
    return thumbnailsForMedias(images, 1, std::move(callback));
}

OperationRef OVADBManager::thumbnailsForVideos(const std::vector<OVFileRef>& videos, ThumbnailCallback callback)
{
    return thumbnailsForMedias(videos, 2, std::move(callback));
}

OperationRef OVADBManager::thumbnailsForAudioAblums(const std::vector<OVFileRef>& albums, ThumbnailCallback callback)
{
    return thumbnailsForMedias(albums, 3, std::move(callback));
}

OperationRef OVADBManager::thumbnailsForMedias(const std::vector<OVFileRef>& items, int8_t type,
                                               ThumbnailCallback callback)
{
    std::weak_ptr<OVADBManager> weakSelf = weak_from_this();
    auto caller = std::make_shared<std::weak_ptr<Operation>>();
    auto report = [caller, callback](std::optional<Error> error) {
        deliverOnMainQueue(caller, [callback, error = std::move(error)] {
            if (callback)
                callback(error);
        });
    };
    auto operation = OVADBForwardMediaThumbnailOperation::initWithThumbnailType(
        type, items, [weakSelf, type, items, report](std::optional<Error> error) {
            if (!error || error->domain != kADBErrorDomain || error->code != ADBErrorSocketReset) {
                report(std::move(error));
                return;
            }
            // The phone reset the connection: one more try, straight onto
            // the thumbnail queue.
            auto self = weakSelf.lock();
            if (!self)
                return;
            auto retry = OVADBForwardMediaThumbnailOperation::initWithThumbnailType(type, items, report);
            retry->setSocketPort(self->socketPort());
            self->thumbnailOperationQueue().addOperation(retry);
        });
    *caller = operation;
    operation->setSocketPort(socketPort());

    std::vector<OperationRef> dropped;
    {
        std::lock_guard lock(waittingThumbnailOperationsQueueLocker());
        auto& waiting = waittingThumbnailOperationsQueue();
        waiting.push_back(operation);
        if (waiting.size() > kMaxWaitingThumbnailOperations) {
            const auto end = waiting.begin() + static_cast<long>(waiting.size() - kMaxWaitingThumbnailOperations);
            dropped.assign(waiting.begin(), end);
            waiting.erase(waiting.begin(), end);
        }
        armThumbnailPumpLocked();
    }
    // The oldest requests give way: they end without being sent or calling back.
    finishWithoutRunning(dropped);
    return operation;
}

OperationRef OVADBManager::thumbnailsForFiles(const std::vector<OVFileRef>& files, uint64_t fileType,
                                              ThumbnailCallback callback)
{
    int8_t type = 0;
    if (fileType == OVFile::TypeImage)
        type = 1;
    else if (fileType == OVFile::TypeVideo)
        type = 2;
    if (type == 0) {
        if (callback)
            callback(adb_errorWithCode(ADBErrorInvalidArgument));
        return nullptr;
    }
    auto caller = std::make_shared<std::weak_ptr<Operation>>();
    auto operation = OVADBForwardFileThumbnailOperation::initWithRequestType(
        type, files, [caller, callback](std::optional<Error> error) {
            deliverOnMainQueue(caller, [callback, error = std::move(error)] {
                if (callback)
                    callback(error);
            });
        });
    *caller = operation;
    operation->setSocketPort(socketPort());
    thumbnailOperationQueue().addOperation(operation);
    return operation;
}

}  // namespace orv
