#include "core/bridge/companion/OVADBForwardKeepAliveOperation.h"

#include <chrono>

#include "core/bridge/facade/ADBError.h"
#include "core/bridge/companion/BoundedJson.h"
#include "core/bridge/adb/OVADBConstants.h"
#include "core/bridge/adb/OVADBManagerOperation.h"
#include "core/bridge/model/OVAudioFile.h"
#include "core/bridge/model/OVImageFile.h"
#include "core/bridge/model/OVVideoFile.h"
#include "core/bridge/adb/PhonePath.h"
#include "platform/Dispatch.h"

extern "C" {
const char* const OVFileChangType[8] = {"CREATE",   "DELETE",      "MODIFY",    "MOVED_FROM",
                                        "MOVED_TO", "DELETE_SELF", "MOVE_SELF", nullptr};
}

namespace orv {

namespace {

using Json = nlohmann::json;

// A burst of media-provider notices becomes one reload per library.
constexpr auto kMediaURIWindow = std::chrono::milliseconds(500);
// The phone's watch list may still be empty right after a registration.
constexpr auto kWatchDelay = std::chrono::seconds(1);
// The companion sends a heartbeat every few seconds. A connection that stays
// open but carries nothing for this long has a service that stopped
// answering: ending it lets the manager's heartbeat check rebuild the link.
constexpr double kSilenceLimitSeconds = 60;

bool isMediaProviderURI(const std::string& value)
{
    return value.starts_with("content://media/external") || value.starts_with("content://velmoros_gallery/bucket");
}

template <class T>
std::vector<OVFileRef> recordsAt(const Json& change, const char* key)
{
    std::vector<OVFileRef> files;
    auto it = change.find(key);
    if (it == change.end() || !it->is_array())
        return files;
    for (const Json& record : *it) {
        auto file = std::make_shared<T>();
        file->setValuesForKeysWithDictionary(record);
        files.push_back(std::move(file));
    }
    return files;
}

template <class T>
std::optional<OVLibraryChange> libraryChange(const Json& change)
{
    if (!change.is_object())
        return std::nullopt;
    OVLibraryChange built;
    built.deleted = recordsAt<T>(change, "deleted");
    built.added = recordsAt<T>(change, "added");
    if (built.deleted.empty() && built.added.empty())
        return std::nullopt;
    return built;
}

// The files' paths as the phone's watch list names them (relative to the
// storage root); records without one are skipped.
std::vector<std::string> watchedPaths(const std::vector<OVFileRef>& files)
{
    std::vector<std::string> paths;
    for (const auto& file : files) {
        if (!file)
            continue;
        std::string relative = file->relativePathToSDCard();
        if (!relative.empty())
            paths.push_back(std::move(relative));
    }
    return paths;
}

}  // namespace

OVADBForwardKeepAliveOperation::OVADBForwardKeepAliveOperation(Passkey)
    : OVADBForwardOperation(Timeouts{-1, kSilenceLimitSeconds, 6})
{
    setName("OVADBForwardKeepAliveOperation");
}

std::shared_ptr<OVADBForwardKeepAliveOperation> OVADBForwardKeepAliveOperation::make()
{
    return std::make_shared<OVADBForwardKeepAliveOperation>(Passkey{});
}

#define OV_KEEPALIVE_BLOCK(Type, getter, setter, member)            \
    OVADBForwardKeepAliveOperation::Type OVADBForwardKeepAliveOperation::getter() const \
    {                                                                \
        std::lock_guard guard(lock());                               \
        return member;                                               \
    }                                                                \
    void OVADBForwardKeepAliveOperation::setter(Type block)          \
    {                                                                \
        std::lock_guard guard(lock());                               \
        member = std::move(block);                                   \
    }

OV_KEEPALIVE_BLOCK(HeartBeatBlock, didReceiveHeartBeatBlock, setDidReceiveHeartBeatBlock, didReceiveHeartBeatBlock_)
OV_KEEPALIVE_BLOCK(DeviceInfoChangedBlock, deviceInfoChangedBlock, setDeviceInfoChangedBlock, deviceInfoChangedBlock_)
OV_KEEPALIVE_BLOCK(LibraryChangedBlock, photoLibraryChangedBlock, setPhotoLibraryChangedBlock, photoLibraryChangedBlock_)
OV_KEEPALIVE_BLOCK(LibraryChangedBlock, videoLibraryChangedBlock, setVideoLibraryChangedBlock, videoLibraryChangedBlock_)
OV_KEEPALIVE_BLOCK(LibraryChangedBlock, audioLibraryChangedBlock, setAudioLibraryChangedBlock, audioLibraryChangedBlock_)
OV_KEEPALIVE_BLOCK(FileChangeBlocks, fileChangeBlocks, setFileChangeBlocks, fileChangeBlocks_)

#undef OV_KEEPALIVE_BLOCK

bool OVADBForwardKeepAliveOperation::avoidMutiMediaPush() const
{
    std::lock_guard guard(lock());
    return avoidMutiMediaPush_;
}

// ---------------------------------------------------------------- requests

ForwardBytes OVADBForwardKeepAliveOperation::requestData()
{
    return forwardFrame(CMD_Keep_Alive, 0x03);
}

ForwardBytes OVADBForwardKeepAliveOperation::heartBeatResponseData()
{
    return forwardFrame(CMD_Heart_Beat, 0x02);
}

ForwardBytes OVADBForwardKeepAliveOperation::watchRequestData(const std::vector<std::string>& paths,
                                                             uint8_t requestType)
{
    ForwardFrameBuilder frame(CMD_File_Watch, requestType);
    frame.u32(static_cast<uint32_t>(paths.size()));
    for (const auto& path : paths)
        frame.string(path);
    return std::move(frame).frame();
}

void OVADBForwardKeepAliveOperation::sendRequest()
{
    std::lock_guard guard(lock());
    writeRequest(requestData());
    // A new connection takes over the registrations of the one it replaces;
    // the phone's watches belonged to that connection, so ask for them again.
    std::vector<std::string> watched;
    for (const auto& [path, block] : fileChangeBlocks_)
        watched.push_back(path);
    if (!watched.empty())
        sendWatchRequestWithPaths(watched, Watch);
}

void OVADBForwardKeepAliveOperation::sendWatchRequestWithPaths(const std::vector<std::string>& paths,
                                                               uint8_t requestType)
{
    auto socket = this->socket();
    if (!socket || paths.empty())
        return;
    socket->writeData(watchRequestData(paths, requestType), scaled(6), kRequestTag);
    std::string list;
    for (const auto& path : paths)
        list += (list.empty() ? "" : ", ") + path;
    bridgeLog("watch : (" + list + ")");
}

void OVADBForwardKeepAliveOperation::sendHeartBeatResponse()
{
    if (auto socket = this->socket())
        socket->writeData(heartBeatResponseData(), -1, kRequestTag);
}

OVADBForwardKeepAliveOperation::FileChangeBlocks OVADBForwardKeepAliveOperation::watchFiles(
    const std::vector<OVFileRef>& files, FileChangeBlock block)
{
    std::lock_guard guard(lock());
    if (!block)
        return fileChangeBlocks_;
    const std::vector<std::string> paths = watchedPaths(files);
    for (const auto& path : paths)
        fileChangeBlocks_[path] = block;
    if (!paths.empty()) {
        std::weak_ptr<OVADBForwardKeepAliveOperation> weakSelf =
            std::static_pointer_cast<OVADBForwardKeepAliveOperation>(shared_from_this());
        dispatch::Queue::main()->after(kWatchDelay, [weakSelf, paths] {
            if (auto self = weakSelf.lock())
                self->sendWatchRequestWithPaths(paths, Watch);
        });
    }
    return fileChangeBlocks_;
}

OVADBForwardKeepAliveOperation::FileChangeBlocks OVADBForwardKeepAliveOperation::unwatchFileChange(
    const std::vector<OVFileRef>& files)
{
    std::lock_guard guard(lock());
    const std::vector<std::string> paths = watchedPaths(files);
    for (const auto& path : paths)
        fileChangeBlocks_.erase(path);
    if (!paths.empty())
        sendWatchRequestWithPaths(paths, Unwatch);
    return fileChangeBlocks_;
}

// ------------------------------------------------------------------ reading

void OVADBForwardKeepAliveOperation::socketDidReadData(GCDAsyncSocket& sock, const SocketData& data, int64_t tag)
{
    if (tag == kCloseTag) {
        OVADBForwardOperation::socketDidReadData(sock, data, tag);
        return;
    }
    ForwardBytes body;
    {
        std::lock_guard guard(lock());
        if (isCancelled() || state() == StateFinished)
            return;
        if (tag == kLengthTag) {
            const uint32_t length = parseResponseLengthWithHeader(data);
            totalBodyLength_ = length;
            if (length == 0) {
                // An empty frame carries nothing; the next one may.
                readResponseLength(timeouts().lengthRead);
                return;
            }
            if (isAcceptableBodyLength(length)) {
                rawData_.clear();
                readBodyPiece();
                return;
            }
            bridgeLog(name() + ": frame announces " + std::to_string(length) + " body bytes");
        } else {
            rawData_.insert(rawData_.end(), data.data(), data.data() + data.size());
            if (static_cast<int64_t>(rawData_.size()) < totalBodyLength_) {
                readBodyPiece();
                return;
            }
            body.swap(rawData_);
        }
    }
    if (body.empty()) {
        failWithError(adb_errorWithCode(ADBErrorSocketNoBody));
        return;
    }
    // Handled before the next frame is asked for, so pushes keep their order.
    handleFrame(body);
    std::lock_guard guard(lock());
    if (!isCancelled() && state() != StateFinished)
        readResponseLength(timeouts().lengthRead);
}

void OVADBForwardKeepAliveOperation::handleFrame(const ForwardBytes& body)
{
    const uint8_t command = body[0];
    switch (command) {
    case CMD_Push:
        parsePushResponse(body);
        break;
    case CMD_Heart_Beat:
        if (auto block = didReceiveHeartBeatBlock())
            block();
        sendHeartBeatResponse();
        break;
    case CMD_Keep_Alive:
        parseDeviceInfoChangedResponse(body);
        break;
    default:
        break;
    }
    if (command != CMD_Heart_Beat)
        bridgeLog("cmd=" + std::to_string(command));
}

void OVADBForwardKeepAliveOperation::parsePushResponse(const ForwardBytes& body)
{
    switch (body[1]) {
    case PushDeviceInfo:
        parseDeviceInfoChangedResponse(body);
        break;
    case PushFileChange:
        parseFileChangedResponse(body);
        break;
    case PushMediaChange:
        parseMediaChangedResponse(body);
        break;
    default:
        break;
    }
}

std::optional<Json> OVADBForwardKeepAliveOperation::convertResponseToDictionary(const ForwardBytes& body,
                                                                              std::optional<Error>& error)
{
    error.reset();
    if (body.size() <= kFrameHeaderLength)
        return std::nullopt;
    auto value = parseBoundedJson(body.data() + kFrameHeaderLength, body.size() - kFrameHeaderLength);
    if (value.is_discarded()) {
        error = adb_errorWithMessage("无法解析");
        return std::nullopt;
    }
    return value;
}

void OVADBForwardKeepAliveOperation::parseDeviceInfoChangedResponse(const ForwardBytes& body)
{
    std::optional<Error> error;
    auto info = convertResponseToDictionary(body, error);
    if (auto block = deviceInfoChangedBlock())
        block(std::move(info).value_or(Json()), error);
}

void OVADBForwardKeepAliveOperation::parseMediaChangedResponse(const ForwardBytes& body)
{
    std::optional<Error> error;
    auto change = convertResponseToDictionary(body, error);
    if (!change || !change->is_object())
        return;

    auto deliver = [](const LibraryChangedBlock& block, std::optional<OVLibraryChange> built) {
        if (!block || !built)
            return;
        dispatch::Queue::main()->async([block, built = std::move(built)] { block(built); });
    };
    if (auto it = change->find("AUDIO"); it != change->end())
        if (auto block = audioLibraryChangedBlock())
            deliver(block, libraryChange<OVAudioFile>(*it));
    if (auto it = change->find("IMAGE"); it != change->end())
        if (auto block = photoLibraryChangedBlock())
            deliver(block, libraryChange<OVImageFile>(*it));
    if (auto it = change->find("VIDEO"); it != change->end())
        if (auto block = videoLibraryChangedBlock())
            deliver(block, libraryChange<OVVideoFile>(*it));
}

void OVADBForwardKeepAliveOperation::parseFileChangedResponse(const ForwardBytes& body)
{
    std::optional<Error> ignored;
    auto change = convertResponseToDictionary(body, ignored);
    if (!change || !change->is_object())
        return;

    const std::string& root = OVADBConstants::sharedInstance().SDCardRoot();
    for (const auto& [event, entry] : change->items()) {
        if (!entry.is_string())
            continue;
        const std::string& value = entry.get_ref<const std::string&>();
        if (isMediaProviderURI(value)) {
            openMediaURIWindow(value);
            continue;
        }
        std::string watched;
        if (event == "DELETE_SELF" || event == "MOVE_SELF")
            watched = value;
        else if (event == "CREATE" || event == "DELETE" || event == "MODIFY" || event == "MOVED_FROM" ||
                 event == "MOVED_TO")
            watched = deletingLastPathComponent(value);
        else
            continue;
        while (watched.size() > 1 && watched.back() == '/')
            watched.pop_back();

        FileChangeBlock block;
        {
            std::lock_guard guard(lock());
            if (auto it = fileChangeBlocks_.find(watched); it != fileChangeBlocks_.end())
                block = it->second;
        }
        if (!block)
            continue;
        size_t start = value.find_first_not_of('/');
        block(event, root + "/" + (start == std::string::npos ? std::string() : value.substr(start)));
    }
}

void OVADBForwardKeepAliveOperation::openMediaURIWindow(const std::string& uri)
{
    {
        std::lock_guard guard(lock());
        if (avoidMutiMediaPush_)
            return;
        avoidMutiMediaPush_ = true;
    }
    const bool external = uri.starts_with("content://media/external");
    std::weak_ptr<OVADBForwardKeepAliveOperation> weakSelf =
        std::static_pointer_cast<OVADBForwardKeepAliveOperation>(shared_from_this());
    dispatch::Queue::global(dispatch::Priority::High)->after(kMediaURIWindow, [weakSelf, external] {
        auto self = weakSelf.lock();
        if (!self)
            return;
        LibraryChangedBlock photo, video, audio;
        {
            std::lock_guard guard(self->lock());
            self->avoidMutiMediaPush_ = false;
            photo = self->photoLibraryChangedBlock_;
            video = self->videoLibraryChangedBlock_;
            audio = self->audioLibraryChangedBlock_;
        }
        if (photo)
            photo(std::nullopt);
        if (video)
            video(std::nullopt);
        if (audio && external)
            audio(std::nullopt);
    });
}

}  // namespace orv
