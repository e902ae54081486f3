#pragma once
// The application's one entry into the bridge: one client per phone window.
// It owns the phone's device manager and record, checks the arguments the
// interface hands over and forwards every request to the manager.
//
// Completion blocks run on the main queue, with these exceptions: argument
// errors found here (message "无效的参数", code 0) and a deletion without a
// serial arrive at once on the caller's thread, with nullptr returned; the
// upload's post-upload block runs on the upload's own thread; pushed library
// refreshes (nullopt changes) arrive on the companion link's thread. A stop
// asked through a transfer's progress block is the finish block's flag,
// never an error. Returned operations may be cancelled.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/bridge/facade/HostURL.h"
#include "core/bridge/model/OVAlbum.h"
#include "core/bridge/model/OVDevice.h"
#include "core/bridge/model/OVDirectoryFile.h"
#include "core/bridge/model/OVFile.h"
#include "core/bridge/companion/OVLibraryChange.h"
#include "core/bridge/companion/OVMediaLibrary.h"
#include "platform/Error.h"

namespace orv {

class OVADBManager;
class Operation;

class OVDeviceClient {
public:
    using OperationRef = std::shared_ptr<Operation>;

    using ErrorCallback = std::function<void(std::optional<Error> error)>;
    using FilesCallback = std::function<void(std::vector<OVFileRef> files, std::optional<Error> error)>;
    using CountCallback = std::function<void(int64_t count, std::optional<Error> error)>;
    // Transfers and deletions: (number of files, bytes).
    using AnalysisCallback = std::function<void(uint64_t files, uint64_t bytes)>;
    // (first record of the slice about to be deleted, stop flag).
    using DeleteProgressCallback = std::function<void(const OVFileRef& first, std::atomic<bool>& stop)>;
    // (file, bytes done of it, its bytes, bytes done overall); false stops.
    using DownloadProgressCallback =
        std::function<bool(const OVFileRef& file, int64_t done, int64_t total, int64_t overallDone)>;
    using DownloadFinishCallback = std::function<void(std::optional<Error> error, bool cancelled)>;
    // (phone path, computer path, action): 2 keeps both, 3 stops, others replace.
    using PreuploadCallback =
        std::function<void(const std::string& phonePath, const std::string& hostPath, int64_t& action)>;
    // (computer file, bytes done of it, its bytes, bytes done overall); false stops.
    using UploadProgressCallback =
        std::function<bool(const HostURL& file, int64_t done, int64_t total, int64_t overallDone)>;
    using PostuploadCallback = std::function<void(const std::string& phonePath, bool pushed)>;
    using UploadFinishCallback = std::function<void(std::optional<Error> error, uint64_t pushed, bool cancelled)>;
    // The picture's PNG bytes, or nullopt.
    using ScreenshotCallback = std::function<void(std::optional<std::vector<uint8_t>> png, std::optional<Error> error)>;
    using LibraryCallback = std::function<void(std::optional<OVMediaLibrary> library, std::optional<Error> error)>;
    using DeviceInfoChangedBlock = std::function<void(const nlohmann::json& info, std::optional<Error> error)>;
    using LibraryChangedBlock = std::function<void(const std::optional<OVLibraryChange>& change)>;
    using FileChangeBlock = std::function<void(const std::string& event, const std::string& path)>;

    // A client with its manager and an empty device record (adbStatus 0).
    // Make it on the main thread, whose run loop carries the manager's timers.
    OVDeviceClient();
    // Lets the manager go, which cancels everything still queued.
    ~OVDeviceClient();
    OVDeviceClient(const OVDeviceClient&) = delete;
    OVDeviceClient& operator=(const OVDeviceClient&) = delete;

    const std::shared_ptr<OVADBManager>& adbManager() const { return adbManager_; }
    const std::shared_ptr<OVDevice>& device() const { return device_; }
    // The serial given to updateWithSerialNumber.
    std::string serialNumber() const;

    // --- device ---------------------------------------------------------

    // Stores the serial and loads the phone; the callback runs once. An empty
    // serial: ADBError 1 and nullptr.
    OperationRef updateWithSerialNumber(const std::string& serial, ErrorCallback callback);
    // Pushed device information; battery and name are in device() first.
    void registerDeviceInfoChangeWithBlock(DeviceInfoChangedBlock block);
    OperationRef screenshotWitchCallback(ScreenshotCallback callback);

    // --- companion service ------------------------------------------------

    OperationRef fetchPhotoLibraryWithCallback(LibraryCallback callback);
    OperationRef fetchVideoLibraryWithCallback(LibraryCallback callback);
    OperationRef fetchAudioLibraryWithCallback(LibraryCallback callback);
    void registerPhotoLibraryChangeWithBlock(LibraryChangedBlock block);
    void registerVideoLibraryChangeWithBlock(LibraryChangedBlock block);
    void registerAudioLibraryChangeWithBlock(LibraryChangedBlock block);
    OperationRef thumbnailsForImages(const std::vector<OVFileRef>& images, ErrorCallback callback);
    OperationRef thumbnailsForVideos(const std::vector<OVFileRef>& videos, ErrorCallback callback);
    OperationRef thumbnailsAudioAlbums(const std::vector<OVFileRef>& albums, ErrorCallback callback);
    OperationRef thumbnailsForImageFiles(const std::vector<OVFileRef>& files, ErrorCallback callback);
    OperationRef thumbnailsForVideoFiles(const std::vector<OVFileRef>& files, ErrorCallback callback);
    // Only folders (OVDirectoryFile) are watched; anything else is ignored.
    void registerDirectoryChange(const OVFileRef& folder, FileChangeBlock block);
    void unregisterDirectoryChange(const OVFileRef& folder);

    // --- adb --------------------------------------------------------------

    OperationRef filesInRootWithCallback(FilesCallback callback);
    // Lists the folder without a type filter.
    OperationRef filesInDirectory(const OVFileRef& folder, FilesCallback callback);
    OperationRef countFilesInRoot(CountCallback callback);
    OperationRef countFilesInDownload(CountCallback callback);
    OperationRef countFilesInAudio(CountCallback callback);
    OperationRef countFilesInVideo(CountCallback callback);

    // An empty list is an argument error.
    OperationRef deleteOVFiles(const std::vector<OVFileRef>& files, bool needUpdateMediaLibrary,
                               AnalysisCallback analysis, DeleteProgressCallback progress, ErrorCallback finish);
    OperationRef deleteOVFiles(const std::vector<OVFileRef>& files, AnalysisCallback analysis,
                               DeleteProgressCallback progress, ErrorCallback finish);
    // A missing file is an argument error; bad names fail through finish.
    OperationRef renameFile(const OVFileRef& file, const std::string& name, ErrorCallback finish);
    // An empty list or a destination that is not a file URL is an argument error.
    OperationRef downloadFiles(const std::vector<OVFileRef>& files, const HostURL& hostPath,
                               AnalysisCallback analysis, DownloadProgressCallback progress,
                               DownloadFinishCallback finish);
    OperationRef downloadAlbums(const std::vector<std::shared_ptr<OVAlbum>>& albums, const HostURL& hostPath,
                                AnalysisCallback analysis, DownloadProgressCallback progress,
                                DownloadFinishCallback finish);
    // An empty list, a URL that is not a file URL, or no destination folder
    // is an argument error.
    OperationRef uploadFiles(const std::vector<HostURL>& files, const OVFileRef& to, bool needUpdateMediaLibrary,
                             AnalysisCallback analysis, PreuploadCallback preupload, UploadProgressCallback progress,
                             PostuploadCallback postupload, UploadFinishCallback finish);

    // --- the phone's standard folders (a new record on every call) ----------

    static std::shared_ptr<OVDirectoryFile> rootDir();          // "/"
    static std::shared_ptr<OVDirectoryFile> downloadDir();      // "Download"
    static std::shared_ptr<OVDirectoryFile> audioDir();         // "Audio"
    static std::shared_ptr<OVDirectoryFile> videoDir();         // "Video"
    static std::shared_ptr<OVDirectoryFile> cameraDir();        // "Camera"
    static std::shared_ptr<OVDirectoryFile> screenshotsDir();   // "Screenshots"
    static std::shared_ptr<OVDirectoryFile> quickcaptureDir();  // "QuickCapture"
    static std::shared_ptr<OVDirectoryFile> fromMacDir();       // "FromMac"

private:
    std::shared_ptr<OVADBManager> adbManager_;
    std::shared_ptr<OVDevice> device_;
    mutable std::mutex mutex_;
    std::string serialNumber_;
};

}  // namespace orv
