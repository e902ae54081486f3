#include "core/bridge/facade/OVDeviceClient.h"

#include <algorithm>

#include "core/bridge/facade/ADBError.h"
#include "core/bridge/adb/OVADBManager.h"

namespace orv {

namespace {

constexpr const char* kInvalidArgument = "无效的参数";

// An argument error reaches the finish block at once, on the caller's
// thread, and nothing is queued.
template <class Finish, class... Rest>
OVDeviceClient::OperationRef refuse(const Finish& finish, Rest... rest)
{
    if (finish)
        finish(adb_errorWithMessage(kInvalidArgument), rest...);
    return nullptr;
}

std::shared_ptr<OVDirectoryFile> folder(const char* name, const char* path)
{
    auto directory = std::make_shared<OVDirectoryFile>();
    directory->setName(name);
    directory->setPath(path);
    return directory;
}

}  // namespace

OVDeviceClient::OVDeviceClient() : adbManager_(OVADBManager::make()), device_(std::make_shared<OVDevice>())
{
    device_->setAdbStatus(OVDevice::StatusNone);
}

OVDeviceClient::~OVDeviceClient() = default;

std::string OVDeviceClient::serialNumber() const
{
    std::lock_guard lock(mutex_);
    return serialNumber_;
}

// ------------------------------------------------------------------ device

OVDeviceClient::OperationRef OVDeviceClient::updateWithSerialNumber(const std::string& serial,
                                                                    ErrorCallback callback)
{
    {
        std::lock_guard lock(mutex_);
        serialNumber_ = serial;
    }
    return adbManager_->fetchADBInfoWithSerialNumber(serial, device_, [callback](std::optional<Error> error) {
        if (callback)
            callback(std::move(error));
    });
}

void OVDeviceClient::registerDeviceInfoChangeWithBlock(DeviceInfoChangedBlock block)
{
    adbManager_->registerDeviceInfoChangeForDevice(device_, std::move(block));
}

OVDeviceClient::OperationRef OVDeviceClient::screenshotWitchCallback(ScreenshotCallback callback)
{
    return adbManager_->screenshotWitchCallback(std::move(callback));
}

// -------------------------------------------------------- companion service

OVDeviceClient::OperationRef OVDeviceClient::fetchPhotoLibraryWithCallback(LibraryCallback callback)
{
    return adbManager_->fetchPhotoLibraryWithCallback(std::move(callback));
}

OVDeviceClient::OperationRef OVDeviceClient::fetchVideoLibraryWithCallback(LibraryCallback callback)
{
    return adbManager_->fetchVideoLibraryWithCallback(std::move(callback));
}

OVDeviceClient::OperationRef OVDeviceClient::fetchAudioLibraryWithCallback(LibraryCallback callback)
{
    return adbManager_->fetchAudioLibraryWithCallback(std::move(callback));
}

void OVDeviceClient::registerPhotoLibraryChangeWithBlock(LibraryChangedBlock block)
{
    adbManager_->registerMediaLibraryChange(OVFile::TypeImage, std::move(block));
}

void OVDeviceClient::registerVideoLibraryChangeWithBlock(LibraryChangedBlock block)
{
    adbManager_->registerMediaLibraryChange(OVFile::TypeVideo, std::move(block));
}

void OVDeviceClient::registerAudioLibraryChangeWithBlock(LibraryChangedBlock block)
{
    adbManager_->registerMediaLibraryChange(OVFile::TypeAudio, std::move(block));
}

OVDeviceClient::OperationRef OVDeviceClient::thumbnailsForImages(const std::vector<OVFileRef>& images,
                                                                 ErrorCallback callback)
{
    return adbManager_->thumbnailsForImages(images, std::move(callback));
}

OVDeviceClient::OperationRef OVDeviceClient::thumbnailsForVideos(const std::vector<OVFileRef>& videos,
                                                                 ErrorCallback callback)
{
    return adbManager_->thumbnailsForVideos(videos, std::move(callback));
}

OVDeviceClient::OperationRef OVDeviceClient::thumbnailsAudioAlbums(const std::vector<OVFileRef>& albums,
                                                                   ErrorCallback callback)
{
    return adbManager_->thumbnailsForAudioAblums(albums, std::move(callback));
}

OVDeviceClient::OperationRef OVDeviceClient::thumbnailsForImageFiles(const std::vector<OVFileRef>& files,
                                                                     ErrorCallback callback)
{
    return adbManager_->thumbnailsForFiles(files, OVFile::TypeImage, std::move(callback));
}

OVDeviceClient::OperationRef OVDeviceClient::thumbnailsForVideoFiles(const std::vector<OVFileRef>& files,
                                                                     ErrorCallback callback)
{
    return adbManager_->thumbnailsForFiles(files, OVFile::TypeVideo, std::move(callback));
}

void OVDeviceClient::registerDirectoryChange(const OVFileRef& folder, FileChangeBlock block)
{
    if (std::dynamic_pointer_cast<OVDirectoryFile>(folder))
        adbManager_->watchDirectory(folder, std::move(block));
}

void OVDeviceClient::unregisterDirectoryChange(const OVFileRef& folder)
{
    if (std::dynamic_pointer_cast<OVDirectoryFile>(folder))
        adbManager_->unwatchDirectory(folder);
}

// --------------------------------------------------------------------- adb

OVDeviceClient::OperationRef OVDeviceClient::filesInRootWithCallback(FilesCallback callback)
{
    return adbManager_->filesInRootWithCallback(std::move(callback));
}

OVDeviceClient::OperationRef OVDeviceClient::filesInDirectory(const OVFileRef& folder, FilesCallback callback)
{
    return adbManager_->filesInDirectory(folder, 0, std::move(callback));
}

OVDeviceClient::OperationRef OVDeviceClient::countFilesInRoot(CountCallback callback)
{
    return adbManager_->countFilesInRoot(std::move(callback));
}

OVDeviceClient::OperationRef OVDeviceClient::countFilesInDownload(CountCallback callback)
{
    return adbManager_->countFilesInDownload(std::move(callback));
}

OVDeviceClient::OperationRef OVDeviceClient::countFilesInAudio(CountCallback callback)
{
    return adbManager_->countFilesInAudio(std::move(callback));
}

OVDeviceClient::OperationRef OVDeviceClient::countFilesInVideo(CountCallback callback)
{
    return adbManager_->countFilesInVideo(std::move(callback));
}

OVDeviceClient::OperationRef OVDeviceClient::deleteOVFiles(const std::vector<OVFileRef>& files,
                                                           bool needUpdateMediaLibrary, AnalysisCallback analysis,
                                                           DeleteProgressCallback progress, ErrorCallback finish)
{
    if (files.empty())
        return refuse(finish);
    return adbManager_->deleteOVFiles(files, needUpdateMediaLibrary, std::move(analysis), std::move(progress),
                                      std::move(finish));
}

OVDeviceClient::OperationRef OVDeviceClient::deleteOVFiles(const std::vector<OVFileRef>& files,
                                                           AnalysisCallback analysis, DeleteProgressCallback progress,
                                                           ErrorCallback finish)
{
    return deleteOVFiles(files, false, std::move(analysis), std::move(progress), std::move(finish));
}

OVDeviceClient::OperationRef OVDeviceClient::renameFile(const OVFileRef& file, const std::string& name,
                                                        ErrorCallback finish)
{
    if (!file)
        return refuse(finish);
    return adbManager_->renameFile(file, name, std::move(finish));
}

OVDeviceClient::OperationRef OVDeviceClient::downloadFiles(const std::vector<OVFileRef>& files,
                                                           const HostURL& hostPath, AnalysisCallback analysis,
                                                           DownloadProgressCallback progress,
                                                           DownloadFinishCallback finish)
{
    if (files.empty() || !hostPath.isFileURL())
        return refuse(finish, false);
    return adbManager_->downloadFiles(files, hostPath.path(), std::move(analysis), std::move(progress),
                                      std::move(finish));
}

OVDeviceClient::OperationRef OVDeviceClient::downloadAlbums(const std::vector<std::shared_ptr<OVAlbum>>& albums,
                                                            const HostURL& hostPath, AnalysisCallback analysis,
                                                            DownloadProgressCallback progress,
                                                            DownloadFinishCallback finish)
{
    if (albums.empty() || !hostPath.isFileURL())
        return refuse(finish, false);
    return adbManager_->downloadAlbums(albums, hostPath.path(), std::move(analysis), std::move(progress),
                                       std::move(finish));
}

OVDeviceClient::OperationRef OVDeviceClient::uploadFiles(const std::vector<HostURL>& files, const OVFileRef& to,
                                                         bool needUpdateMediaLibrary, AnalysisCallback analysis,
                                                         PreuploadCallback preupload, UploadProgressCallback progress,
                                                         PostuploadCallback postupload, UploadFinishCallback finish)
{
    const bool allFileURLs =
        std::all_of(files.begin(), files.end(), [](const HostURL& url) { return url.isFileURL(); });
    if (files.empty() || !allFileURLs || !to || !to->isDirectory() || to->path().empty())
        return refuse(finish, uint64_t{0}, false);
    std::vector<std::string> paths;
    paths.reserve(files.size());
    for (const auto& url : files)
        paths.push_back(url.path());
    OVADBManager::UploadProgressCallback byPath;
    if (progress) {
        byPath = [progress](const std::string& hostPath, int64_t done, int64_t total, int64_t overall) {
            return progress(HostURL::fileURLWithPath(hostPath), done, total, overall);
        };
    }
    return adbManager_->uploadFiles(paths, to, needUpdateMediaLibrary, std::move(analysis), std::move(preupload),
                                    std::move(byPath), std::move(postupload), std::move(finish));
}

// -------------------------------------------------------- standard folders

std::shared_ptr<OVDirectoryFile> OVDeviceClient::rootDir() { return folder("/", "/storage/emulated/legacy/"); }
std::shared_ptr<OVDirectoryFile> OVDeviceClient::downloadDir()
{
    return folder("Download", "/storage/emulated/legacy/download/");
}
std::shared_ptr<OVDirectoryFile> OVDeviceClient::audioDir() { return folder("Audio", "/storage/emulated/legacy/Music/"); }
std::shared_ptr<OVDirectoryFile> OVDeviceClient::videoDir() { return folder("Video", "/storage/emulated/legacy/DCIM/"); }
std::shared_ptr<OVDirectoryFile> OVDeviceClient::cameraDir()
{
    return folder("Camera", "/storage/emulated/legacy/DCIM/Camera/");
}
std::shared_ptr<OVDirectoryFile> OVDeviceClient::screenshotsDir()
{
    return folder("Screenshots", "/storage/emulated/legacy/DCIM/Screenshots/");
}
std::shared_ptr<OVDirectoryFile> OVDeviceClient::quickcaptureDir()
{
    return folder("QuickCapture", "/storage/emulated/legacy/DCIM/QuickCapture/");
}
std::shared_ptr<OVDirectoryFile> OVDeviceClient::fromMacDir()
{
    return folder("FromMac", "/storage/emulated/legacy/DCIM/FromMac/");
}

}  // namespace orv
