#pragma once
// The device manager of one phone: it owns the queues on which all device
// work runs, the phone's timers and the runner that starts the "adb"
// resource program. Every device command ends in performADBCommand.
//
// Managers are always owned by std::shared_ptr (make()); queued work and
// timers hold them weakly, and releasing the last owner cancels everything
// still queued. The manager's work is split over several sources by topic
// (OVADBManager*.cpp); each adds its methods here.
//
// Every command that needs the phone refuses with ADBError code 2 while no
// serial number is known, instead of addressing whichever phone adb picks;
// only "start-server" and "devices" run without one.

#include <any>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/bridge/adb/ADBProgress.h"
#include "core/bridge/adb/ADBRunner.h"
#include "core/bridge/model/OVFile.h"
#include "core/bridge/companion/OVLibraryChange.h"
#include "core/bridge/companion/OVMediaLibrary.h"
#include "platform/Dispatch.h"
#include "platform/Error.h"
#include "platform/OperationQueue.h"
#include "platform/Process.h"
#include "platform/RunLoopTimer.h"

namespace orv {

class OVAlbum;
class OVDirectoryFile;

// Companion-service link.
class OVADBForwardKeepAliveOperation;
class OVDevice;

class OVADBManager : public std::enable_shared_from_this<OVADBManager> {
public:
    // The running command and its progress; may terminate the command.
    using ProgressBlock = ADBRunner::ProgressBlock;
    using OutputCallback = std::function<void(std::optional<std::string> output, std::optional<Error> error)>;
    using FilesCallback = std::function<void(std::vector<OVFileRef> files, std::optional<Error> error)>;
    using CountCallback = std::function<void(int64_t count, std::optional<Error> error)>;
    // Downloads: (files to pull, bytes to pull).
    using AnalysisCallback = std::function<void(uint64_t files, uint64_t bytes)>;
    // Downloads: (file, bytes done of it, its bytes, bytes done overall);
    // false stops the transfer.
    using DownloadProgressCallback =
        std::function<bool(const OVFileRef& file, int64_t done, int64_t total, int64_t overallDone)>;
    // Downloads: (error, stopped by the caller).
    using DownloadFinishCallback = std::function<void(std::optional<Error> error, bool cancelled)>;
    // Screenshot: the picture's PNG bytes (nullopt on failure) and the error.
    using ScreenshotCallback = std::function<void(std::optional<std::vector<uint8_t>> png, std::optional<Error> error)>;

    using DeviceInfoChangedBlock = std::function<void(const nlohmann::json& info, std::optional<Error> error)>;
    using LibraryChangedBlock = std::function<void(const std::optional<OVLibraryChange>& change)>;
    using FileChangeBlock = std::function<void(const std::string& event, const std::string& path)>;

    // Builds the queues and timers; call on the thread whose run loop should
    // carry the heartbeat timer (the main thread in the application).
    static std::shared_ptr<OVADBManager> make();
    // Cancels the timers and everything queued, and ends the adb child of
    // every running command. Never waits: the queues wind down on a pool
    // thread.
    ~OVADBManager();
    // Waits until the work of every released manager has wound down; false
    // when the deadline passed first. For an orderly exit and for tests,
    // whose phones and folders must outlive that work.
    static bool waitForReleasedWork(std::chrono::milliseconds timeout);
    OVADBManager(const OVADBManager&) = delete;
    OVADBManager& operator=(const OVADBManager&) = delete;

    // --- state ---------------------------------------------------------

    // adb serial of the phone; empty until the device load saw it attached.
    // While set, every adb command line begins with "-s" and the serial.
    std::string serialNumber() const;
    void setSerialNumber(std::string serial);

    OperationQueue& adbOperationQueue() { return *adbOperationQueue_; }                  // at most 2 at once
    OperationQueue& adbForwardOperationQueue() { return *adbForwardOperationQueue_; }    // at most 3
    OperationQueue& keepAliveOperationQueue() { return *keepAliveOperationQueue_; }      // at most 1
    OperationQueue& thumbnailOperationQueue() { return *thumbnailOperationQueue_; }      // at most 5

    // Thumbnail operations waiting for the pump, oldest first; only touch
    // the list while holding its lock.
    std::vector<OperationRef>& waittingThumbnailOperationsQueue() { return waittingThumbnailOperations_; }
    std::mutex& waittingThumbnailOperationsQueueLocker() { return waittingThumbnailOperationsLock_; }
    const dispatch::SourceRef& thumbnailOperationTimer() const { return thumbnailOperationTimer_; }

    // Local TCP port forwarded to the companion service; 0 until started.
    uint64_t socketPort() const { return socketPort_.load(); }
    void setSocketPort(uint64_t port) { socketPort_.store(port); }
    // The 20 s heartbeat timer.
    std::shared_ptr<RunLoopTimer> timer() const;
    // True while a heartbeat rebuild of the companion link runs.
    bool startingService() const { return startingService_.load(); }
    void setStartingService(bool starting) { startingService_.store(starting); }

    DeviceInfoChangedBlock deviceInfoChangedBlock() const;
    void setDeviceInfoChangedBlock(DeviceInfoChangedBlock block);
    LibraryChangedBlock photoLibraryChangedBlock() const;
    void setPhotoLibraryChangedBlock(LibraryChangedBlock block);
    LibraryChangedBlock audioLibraryChangedBlock() const;
    void setAudioLibraryChangedBlock(LibraryChangedBlock block);
    LibraryChangedBlock videoLibraryChangedBlock() const;
    void setVideoLibraryChangedBlock(LibraryChangedBlock block);
    // Watched folder (relative to the storage root) -> its block.
    std::map<std::string, FileChangeBlock> fileChangeBlocks() const;
    void setFileChangeBlocks(std::map<std::string, FileChangeBlock> blocks);

    // --- running adb (OVADBManager.cpp) ----------------------------------

    // Runs the "adb" resource with these arguments (after "-s" and the serial
    // when one is set) and blocks until it exits; returns its standard output
    // as bytes (nullopt when it could not start). With a progress
    // block, standard error is parsed for progress lines as they arrive.
    // Throws orv::Exception on the main thread, which must never wait on adb.
    std::optional<std::string> performADBCommand(const std::vector<std::string>& arguments,
                                                 const ProgressBlock& progress = {});
    // The same, with how the command ended; `onLaunch` gets the child as soon
    // as it runs (so another thread may terminate it).
    ADBCommandResult runADBCommand(const std::vector<std::string>& arguments, const ProgressBlock& progress = {},
                                   const ADBRunner::LaunchBlock& onLaunch = {});
    // A runner for this phone as it is known now. Queued work runs its
    // commands through one, holding the manager only between commands.
    ADBRunner runner() const { return ADBRunner(serialNumber(), toolNotes_); }
    // "shell" and the parts joined by single spaces, as one command line for
    // the phone's shell. Refuses (nullopt, nothing run) without a serial.
    std::optional<std::string> performShell(const std::vector<std::string>& parts);
    // performShell on adbOperationQueue; the callback runs on the operation's
    // thread unless the operation was cancelled. Without a serial: the
    // callback at once with ADBError 2, and nullptr.
    std::shared_ptr<BlockOperation> excuteShellInQueue(const std::vector<std::string>& parts, OutputCallback callback);
    // performADBCommand on adbOperationQueue; the callback runs on the main
    // queue unless the operation was cancelled.
    std::shared_ptr<BlockOperation> excuteADBCommandInQueueWithArguments(const std::vector<std::string>& arguments,
                                                                         OutputCallback callback);

    // --- listing and counting (OVADBManager+Listing.cpp) -----------------

    // Lists one folder, narrowed by type flags (0: everything). Blocking.
    std::vector<OVFileRef> files(uint64_t typeFlags, const std::shared_ptr<OVFile>& folder);
    // files() on adbOperationQueue, result on the main queue. A folder that
    // is not a folder with a path: ADBError 1; no serial: ADBError 2; both
    // on the main queue, with nullptr returned.
    OperationRef filesInDirectory(const std::shared_ptr<OVFile>& folder, uint64_t typeFlags, FilesCallback callback);
    OperationRef filesInRootWithCallback(FilesCallback callback);
    // True when the phone has something at that path. Blocking.
    bool fileExistInDevice(const std::string& path);
    // The number of regular files down to five levels below the folder,
    // leaving out paths with a component that begins with ".". Result on the
    // main queue; no serial: 0 and ADBError 2.
    OperationRef countFiles(const std::shared_ptr<OVFile>& folder, CountCallback callback);
    OperationRef countFilesInRoot(CountCallback callback);
    OperationRef countFilesInDownload(CountCallback callback);
    OperationRef countFilesInAudio(CountCallback callback);
    OperationRef countFilesInVideo(CountCallback callback);

    // --- downloads and screenshot (OVADBManager+Download.cpp) ------------

    // Copies the files and folders (with their contents) into the folder
    // `hostPath` on this computer, each under its own name. Analysis,
    // progress and finish run on the main queue; finish exactly once for a
    // download that started. A file arrives under its final name only once
    // completely pulled. A failed pull ends the download with an error; a
    // stop (progress answering false, or cancelling) ends it with
    // cancelled = true and no error. No serial: finish with ADBError 2 on the
    // main queue, and nullptr.
    OperationRef downloadFiles(const std::vector<OVFileRef>& files, const std::string& hostPath,
                               AnalysisCallback analysis, DownloadProgressCallback progress,
                               DownloadFinishCallback finish);
    // The same for albums: each album's children go into a folder named
    // after the album (two albums of one name share it).
    OperationRef downloadAlbums(const std::vector<std::shared_ptr<OVAlbum>>& albums, const std::string& hostPath,
                                AnalysisCallback analysis, DownloadProgressCallback progress,
                                DownloadFinishCallback finish);
    // Plans one file below `parentRelativePath`: files go on `pullingFiles`
    // (with their relative path stored on them), folders with an empty
    // listing on `emptyDirectory`. Returns the bytes planned. Blocking.
    uint64_t getHostFileInfo(const OVFileRef& file, const std::string& parentRelativePath,
                             std::vector<OVFileRef>& emptyDirectory, std::vector<OVFileRef>& pullingFiles);
    // Captures the phone's screen and pulls the picture; result on the main
    // queue. No serial: ADBError 2.
    OperationRef screenshotWitchCallback(ScreenshotCallback callback);

    // --- companion link (grows with the companion-service code) ----------

    // Rebuilds the companion link after a wake or on a heartbeat tick.
    void checkKeepAliveHeartBeat(bool fromWake);
    // One tick of the thumbnail pump: up to 10 waiting operations move onto
    // the thumbnail queue. The pump's timer is armed only while operations
    // wait, so an idle manager wakes nobody.
    void resumeThumbnailOperations();

    // --- companion link: device load (OVADBManager+DeviceLoad.cpp) -------

    using LoadCallback = std::function<void(std::optional<Error> error)>;

    // Loads the phone: adb status, static facts, companion start-up and
    // port forward, then the service's device information (one retry).
    // The callback runs once, on the main queue; on success the keep-alive
    // connection opens afterwards. An empty serial: ADBError 1 and nullptr.
    OperationRef fetchADBInfoWithSerialNumber(const std::string& serial, const std::shared_ptr<OVDevice>& device,
                                              LoadCallback callback);
    // Sets the device's adbStatus from "devices" (the serial's own line).
    // Blocking, like every step below.
    std::optional<Error> updateADBStatusForDevice(OVDevice& device, const std::string& serial);
    // Battery, storage, colour and product type.
    void getStaticInfoForDevice(OVDevice& device);
    void getDiskSpace(OVDevice& device);
    static void diskSpaceThrough(const ADBRunner& runner, OVDevice& device);
    // Installs (when missing or old), restarts and forwards the companion
    // service to the local port.
    std::optional<Error> startADBForwardAtPort(uint64_t port);
    // A local port for the forward that no forward and no listener holds.
    uint64_t chooseLocalPort();
    // Asks the service for its device information and fills the record;
    // a failure is tried again 1 s later while retryCount is above 0.
    // The callback runs on the socket callback queue when there is no
    // information, otherwise on adbOperationQueue after the storage figures
    // were read (not when the manager was released meanwhile).
    void getServiceInfoForDevice(const std::shared_ptr<OVDevice>& device, int retryCount, LoadCallback callback);
    // Restarts the forward on the same port and opens a new keep-alive
    // connection (heartbeat check and wake).
    void rebuildCompanionLink();

    // --- companion messages (OVADBManager+Companion.cpp) -----------------

    using LibraryCallback = std::function<void(std::optional<OVMediaLibrary> library, std::optional<Error> error)>;
    using ThumbnailCallback = std::function<void(std::optional<Error> error)>;

    // A whole library from the companion service, on the main queue. The
    // returned operation may be cancelled; it then never calls back.
    OperationRef fetchPhotoLibraryWithCallback(LibraryCallback callback);
    OperationRef fetchAudioLibraryWithCallback(LibraryCallback callback);
    OperationRef fetchVideoLibraryWithCallback(LibraryCallback callback);
    // Thumbnails by media id: the request waits in the thumbnail waiting
    // list (at most 500, the oldest dropped) for the pump; a connection the
    // phone reset is retried once. Callback on the main queue, never after
    // the returned operation was cancelled.
    OperationRef thumbnailsForImages(const std::vector<OVFileRef>& images, ThumbnailCallback callback);
    OperationRef thumbnailsForVideos(const std::vector<OVFileRef>& videos, ThumbnailCallback callback);
    OperationRef thumbnailsForAudioAblums(const std::vector<OVFileRef>& albums, ThumbnailCallback callback);
    OperationRef thumbnailsForMedias(const std::vector<OVFileRef>& items, int8_t type, ThumbnailCallback callback);
    // Thumbnails by path, straight onto the thumbnail queue. A file type
    // other than image (2) or video (4): ADBError 1 at once, on the caller's
    // thread, and nullptr.
    OperationRef thumbnailsForFiles(const std::vector<OVFileRef>& files, uint64_t fileType,
                                    ThumbnailCallback callback);

    // --- keep-alive connection (OVADBManager+KeepAlive.cpp) --------------

    // The running keep-alive connection; a new one (carrying every
    // registration) when there is none.
    std::shared_ptr<OVADBForwardKeepAliveOperation> keepAliveOperation();
    // Pushed device information: battery and name go into the record, then
    // the block runs, on the main queue.
    void registerDeviceInfoChangeForDevice(const std::shared_ptr<OVDevice>& device, DeviceInfoChangedBlock callback);
    // File type 2 photos, 4 videos, 8 music; others are ignored.
    void registerMediaLibraryChange(uint64_t fileType, LibraryChangedBlock block);
    // Changes inside a folder (or of it), on the main queue.
    void watchDirectory(const OVFileRef& folder, FileChangeBlock block);
    void unwatchDirectory(const OVFileRef& folder);

    // --- deletion, renaming, media refresh (OVADBManager+Delete.cpp) -----

    // Deletion: (first record of the slice about to be deleted, stop flag).
    // Setting the flag ends the deletion once that slice is done.
    using DeleteProgressCallback = std::function<void(const OVFileRef& first, std::atomic<bool>& stop)>;
    using ErrorCallback = std::function<void(std::optional<Error> error)>;
    // What a media-scanner broadcast names: a phone path (a file), or a record.
    using MediaScanItem = std::variant<std::string, OVFileRef>;

    // Deletes the records (folders with their contents) with "rm -rf", a
    // slice of 5, 10 or 20 at a time; with `needUpdateMediaLibrary` the
    // phone's media library forgets or rescans what went. Analysis, progress
    // and finish run on the main queue; finish once, with the first failure
    // or nil (also after a stop). Refused at once, on the caller's thread:
    // no serial (ADBError 2), a record outside the phone's storage or the
    // storage root itself (ADBError 1); nullptr then.
    OperationRef deleteOVFiles(const std::vector<OVFileRef>& files, bool needUpdateMediaLibrary,
                               AnalysisCallback analysis, DeleteProgressCallback progress, ErrorCallback finish);
    // Renames the record within its folder; the record takes its new path
    // and name only when the phone did it. An empty name, ".", "..", a name
    // with "/", or a target that already exists fail with ADBError 1. Finish
    // on the main queue; no serial: ADBError 2 there, and nullptr.
    OperationRef renameFile(const OVFileRef& file, const std::string& name, ErrorCallback finish);
    // Announces each item to the phone's media scanner (a folder as mounted,
    // anything else as a file), in the background; results are not reported.
    void updateMediaLibraryForFiles(const std::vector<MediaScanItem>& items);

    // --- uploads (OVADBManager+Upload.cpp) -------------------------------

    // Upload clash answers (the pre-upload block's action).
    enum UploadClashAction : int64_t { UploadReplace = 0, UploadKeepBoth = 2, UploadStop = 3 };
    // (phone path, computer path, action): asked on the main queue while the
    // upload waits, when the phone already has a file of that name.
    using PreuploadCallback =
        std::function<void(const std::string& phonePath, const std::string& hostPath, int64_t& action)>;
    // (computer path, bytes done of it, its bytes, bytes done overall); false
    // stops the upload.
    using UploadProgressCallback =
        std::function<bool(const std::string& hostPath, int64_t done, int64_t total, int64_t overallDone)>;
    // (phone path, pushed), on the upload's own thread.
    using PostuploadCallback = std::function<void(const std::string& phonePath, bool pushed)>;
    // (error, files pushed, stopped by the caller).
    using UploadFinishCallback = std::function<void(std::optional<Error> error, uint64_t pushed, bool cancelled)>;

    // Copies computer files and folders (with their contents, hidden entries
    // left out) into the phone folder `destination`. A file replaces the
    // phone's copy only once completely pushed. Analysis, pre-upload,
    // progress and finish run on the main queue; finish once for an upload
    // that started: the first failed push ends it with an error, a stop with
    // cancelled = true and no error. No serial: finish with ADBError 2 on the
    // main queue, and nullptr.
    OperationRef uploadFiles(const std::vector<std::string>& hostPaths, const OVFileRef& destination,
                             bool needUpdateMediaLibrary, AnalysisCallback analysis, PreuploadCallback preupload,
                             UploadProgressCallback progress, PostuploadCallback postupload,
                             UploadFinishCallback finish);

private:
    struct Passkey {};

public:
    explicit OVADBManager(Passkey);

private:
    void setUp();

    mutable std::mutex mutex_;
    std::string serialNumber_;

    std::shared_ptr<OperationQueue> adbOperationQueue_;
    std::shared_ptr<OperationQueue> adbForwardOperationQueue_;
    std::shared_ptr<OperationQueue> keepAliveOperationQueue_;
    std::shared_ptr<OperationQueue> thumbnailOperationQueue_;

    std::mutex waittingThumbnailOperationsLock_;
    std::vector<OperationRef> waittingThumbnailOperations_;
    dispatch::SourceRef thumbnailOperationTimer_;
    // Arms the pump for one tick unless a tick is already coming. Called
    // under the waiting-list lock.
    void armThumbnailPumpLocked();

    std::atomic<uint64_t> socketPort_{0};
    std::shared_ptr<RunLoopTimer> timer_;
    std::atomic<bool> startingService_{false};
    uint64_t wakeToken_ = 0;

    DeviceInfoChangedBlock deviceInfoChangedBlock_;
    LibraryChangedBlock photoLibraryChangedBlock_;
    LibraryChangedBlock audioLibraryChangedBlock_;
    LibraryChangedBlock videoLibraryChangedBlock_;
    std::map<std::string, FileChangeBlock> fileChangeBlocks_;

    // What this manager's runners learnt about the phone's tools.
    const std::shared_ptr<PhoneToolNotes> toolNotes_ = std::make_shared<PhoneToolNotes>();

    // Screenshots of one phone share the capture file on the phone.
    std::shared_ptr<std::mutex> screenshotMutex_ = std::make_shared<std::mutex>();

    // Companion link: one caller at a time may create the keep-alive connection.
    std::recursive_mutex keepAliveMonitor_;
};

}  // namespace orv
