#include "core/bridge/adb/OVADBManager.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "core/bridge/facade/ADBError.h"
#include "core/bridge/adb/ADBStrings.h"
#include "core/bridge/adb/HWWeakTimer.h"
#include "core/bridge/adb/OVADBManagerOperation.h"
#include "platform/Thread.h"
#include "platform/WakeMonitor.h"

namespace orv {

std::optional<ADBRunner> runnerOf(const std::weak_ptr<OVADBManager>& manager)
{
    if (auto strong = manager.lock())
        return strong->runner();
    return std::nullopt;
}

void bridgeLog(const std::string& line)
{
    std::fprintf(stderr, "OrvaneCore: %s\n", line.c_str());
}

// ------------------------------------------------------------- life cycle

namespace {

// Waiting thumbnail requests move onto the thumbnail queue at this pace.
constexpr auto kThumbnailPumpInterval = std::chrono::milliseconds(500);

// Managers made and not yet wound down: alive, or released with their
// queues still winding down. A manager may outlive its client while a step
// of its work holds it, so waiting for released work waits for them all.
struct ReleasedWork {
    std::mutex mutex;
    std::condition_variable done;
    int count = 0;
};

ReleasedWork& releasedWork()
{
    static ReleasedWork* work = new ReleasedWork;  // used by pool threads up to exit
    return *work;
}

}  // namespace

OVADBManager::OVADBManager(Passkey)
{
    ReleasedWork& work = releasedWork();
    std::lock_guard lock(work.mutex);
    ++work.count;
}

std::shared_ptr<OVADBManager> OVADBManager::make()
{
    auto manager = std::make_shared<OVADBManager>(Passkey{});
    manager->setUp();
    return manager;
}

void OVADBManager::setUp()
{
    adbOperationQueue_ = std::make_shared<OperationQueue>("adbOperationQueue", 2);
    adbForwardOperationQueue_ = std::make_shared<OperationQueue>("adbForwardOperationQueue", 3);
    keepAliveOperationQueue_ = std::make_shared<OperationQueue>("keepAliveOperationQueue", 1);
    thumbnailOperationQueue_ = std::make_shared<OperationQueue>("thumbnailOperationQueue", 5);

    std::weak_ptr<OVADBManager> weakSelf = weak_from_this();

    // The pump ticks on the main queue, where its timer delivers, one tick
    // at a time and only while requests wait (see armThumbnailPumpLocked).
    thumbnailOperationTimer_ = dispatch::Source::makeTimer(dispatch::Queue::main());
    thumbnailOperationTimer_->setEventHandler([weakSelf] {
        if (auto self = weakSelf.lock())
            self->resumeThumbnailOperations();
    });
    thumbnailOperationTimer_->resume();

    timer_ = HWWeakTimer::scheduledTimerWithTimeInterval<OVADBManager>(
        std::chrono::duration<double>(20.0), weakSelf,
        [](OVADBManager& manager, const std::any&) { manager.checkKeepAliveHeartBeat(false); }, std::any(), true,
        "checkKeepAliveHeartBeat:");

    wakeToken_ = WakeMonitor::shared().subscribe([weakSelf] {
        if (auto self = weakSelf.lock())
            self->checkKeepAliveHeartBeat(true);
    });
}


OVADBManager::~OVADBManager()
{
    if (thumbnailOperationTimer_)
        thumbnailOperationTimer_->cancel();
    // Requests still waiting for the pump will never be sent.
    std::vector<OperationRef> waiting;
    {
        std::lock_guard lock(waittingThumbnailOperationsLock_);
        waiting.swap(waittingThumbnailOperations_);
    }
    finishWithoutRunning(waiting);
    adbOperationQueue_->cancelAllOperations();
    adbForwardOperationQueue_->cancelAllOperations();
    thumbnailOperationQueue_->cancelAllOperations();
    keepAliveOperationQueue_->cancelAllOperations();
    if (timer_)
        timer_->invalidate();
    if (wakeToken_)
        WakeMonitor::shared().unsubscribe(wakeToken_);

    // Dropping a queue waits for its running operations. The cancels above
    // end their adb children, but even that short wait must not fall on the
    // main thread, and off it the last owner may be one of those very
    // operations (its block held the manager for a step): the queues are let
    // go on a pool thread instead.
    dispatch::Queue::global()->async([queues = std::vector<std::shared_ptr<OperationQueue>>{
                                          adbOperationQueue_, adbForwardOperationQueue_,
                                          keepAliveOperationQueue_, thumbnailOperationQueue_}]() mutable {
        queues.clear();
        ReleasedWork& released = releasedWork();
        std::lock_guard lock(released.mutex);
        if (--released.count == 0)
            released.done.notify_all();
    });
}

bool OVADBManager::waitForReleasedWork(std::chrono::milliseconds timeout)
{
    ReleasedWork& released = releasedWork();
    std::unique_lock lock(released.mutex);
    return released.done.wait_for(lock, timeout, [&] { return released.count == 0; });
}

// ------------------------------------------------------------------ state

std::string OVADBManager::serialNumber() const
{
    std::lock_guard lock(mutex_);
    return serialNumber_;
}

void OVADBManager::setSerialNumber(std::string serial)
{
    std::lock_guard lock(mutex_);
    serialNumber_ = std::move(serial);
}

std::shared_ptr<RunLoopTimer> OVADBManager::timer() const
{
    return timer_;
}

#define OV_MANAGER_BLOCK(Type, getter, setter, member) \
    OVADBManager::Type OVADBManager::getter() const    \
    {                                                  \
        std::lock_guard lock(mutex_);                  \
        return member;                                 \
    }                                                  \
    void OVADBManager::setter(Type block)              \
    {                                                  \
        std::lock_guard lock(mutex_);                  \
        member = std::move(block);                     \
    }

OV_MANAGER_BLOCK(DeviceInfoChangedBlock, deviceInfoChangedBlock, setDeviceInfoChangedBlock, deviceInfoChangedBlock_)
OV_MANAGER_BLOCK(LibraryChangedBlock, photoLibraryChangedBlock, setPhotoLibraryChangedBlock, photoLibraryChangedBlock_)
OV_MANAGER_BLOCK(LibraryChangedBlock, audioLibraryChangedBlock, setAudioLibraryChangedBlock, audioLibraryChangedBlock_)
OV_MANAGER_BLOCK(LibraryChangedBlock, videoLibraryChangedBlock, setVideoLibraryChangedBlock, videoLibraryChangedBlock_)

#undef OV_MANAGER_BLOCK

std::map<std::string, OVADBManager::FileChangeBlock> OVADBManager::fileChangeBlocks() const
{
    std::lock_guard lock(mutex_);
    return fileChangeBlocks_;
}

void OVADBManager::setFileChangeBlocks(std::map<std::string, FileChangeBlock> blocks)
{
    std::lock_guard lock(mutex_);
    fileChangeBlocks_ = std::move(blocks);
}

// ------------------------------------------------------------- running adb

ADBCommandResult OVADBManager::runADBCommand(const std::vector<std::string>& arguments, const ProgressBlock& progress,
                                             const ADBRunner::LaunchBlock& onLaunch)
{
    return runner().run(arguments, progress, onLaunch);
}

std::optional<std::string> OVADBManager::performADBCommand(const std::vector<std::string>& arguments,
                                                           const ProgressBlock& progress)
{
    return runADBCommand(arguments, progress).output;
}

std::optional<std::string> OVADBManager::performShell(const std::vector<std::string>& parts)
{
    return runner().shell(parts);
}

std::shared_ptr<BlockOperation> OVADBManager::excuteShellInQueue(const std::vector<std::string>& parts,
                                                                 OutputCallback callback)
{
    if (serialNumber().empty()) {
        if (callback)
            callback(std::nullopt, adb_errorWithCode(ADBErrorNotConnected));
        return nullptr;
    }
    std::weak_ptr<OVADBManager> weakSelf = weak_from_this();
    auto operation = makeBlockOperation([weakSelf, parts, callback](BlockOperation& op) {
        auto self = weakSelf.lock();
        if (!self)
            return;
        const ADBRunner runner = self->runner();
        self.reset();  // a command may run long; the owner may let the manager go meanwhile
        std::optional<std::string> output = runner.shell(parts);
        if (!op.isCancelled() && callback)
            callback(std::move(output), std::nullopt);
    });
    adbOperationQueue().addOperation(operation);
    return operation;
}

std::shared_ptr<BlockOperation> OVADBManager::excuteADBCommandInQueueWithArguments(
    const std::vector<std::string>& arguments, OutputCallback callback)
{
    std::weak_ptr<OVADBManager> weakSelf = weak_from_this();
    auto operation = makeBlockOperation([weakSelf, arguments, callback](BlockOperation& op) {
        auto self = weakSelf.lock();
        if (!self)
            return;
        const ADBRunner runner = self->runner();
        self.reset();
        std::optional<std::string> output = runner.run(arguments).output;
        if (!op.isCancelled() && callback)
            deliverOnMainQueue(op.weak_from_this(),
                               [callback, output = std::move(output)] { callback(output, std::nullopt); });
    });
    adbOperationQueue().addOperation(operation);
    return operation;
}

// ------------------------------------------------------- thumbnail pump

void OVADBManager::resumeThumbnailOperations()
{
    std::vector<OperationRef> cancelled;
    {
        std::lock_guard lock(waittingThumbnailOperationsLock_);
        size_t walked = 0;
        int added = 0;
        for (; walked < waittingThumbnailOperations_.size() && added < 10; ++walked) {
            const OperationRef& operation = waittingThumbnailOperations_[walked];
            if (!operation || operation->isExecuting())
                continue;
            if (operation->isCancelled()) {
                cancelled.push_back(operation);
                continue;
            }
            thumbnailOperationQueue().addOperation(operation);
            ++added;
        }
        waittingThumbnailOperations_.erase(waittingThumbnailOperations_.begin(),
                                           waittingThumbnailOperations_.begin() + static_cast<long>(walked));
        if (!waittingThumbnailOperations_.empty())
            armThumbnailPumpLocked();
    }
    // Outside the lock: finishing runs the operations' completion blocks.
    finishWithoutRunning(cancelled);
}

void OVADBManager::armThumbnailPumpLocked()
{
    // A one-shot per tick rather than a repeating timer: once the list is
    // empty no firing is left anywhere, and the first request after a quiet
    // spell starts the cadence again.
    if (thumbnailOperationTimer_ && !thumbnailOperationTimer_->isTimerArmed())
        thumbnailOperationTimer_->setTimer(kThumbnailPumpInterval);
}

}  // namespace orv
