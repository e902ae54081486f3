#include "core/bridge/companion/OVADBForwardMediaThumbnailOperation.h"

#include <unordered_map>

#include "core/bridge/facade/ADBError.h"
#include "core/bridge/model/OVAudioAlbum.h"
#include "core/bridge/model/OVImageFile.h"
#include "core/bridge/model/OVVideoFile.h"
#include "core/bridge/model/ThumbnailRecords.h"

namespace orv {

namespace {

// The thumbnail message's own command byte (the file-path message has 0x01).
constexpr uint8_t CMD_Thumbnail = 0x08;

// The id a record is asked and answered by, whatever the request's type.
std::optional<uint64_t> mediaId(const OVFileRef& file)
{
    if (auto image = std::dynamic_pointer_cast<OVImageFile>(file))
        return image->imageId();
    if (auto video = std::dynamic_pointer_cast<OVVideoFile>(file))
        return video->videoId();
    if (auto album = std::dynamic_pointer_cast<OVAudioAlbum>(file))
        return static_cast<uint64_t>(album->albumId());
    return std::nullopt;
}

}  // namespace

OVADBForwardMediaThumbnailOperation::OVADBForwardMediaThumbnailOperation(Passkey, int8_t requestType,
                                                                         std::vector<OVFileRef> files,
                                                                         Callback callback)
    : ForwardThumbnailOperation(Timeouts{-1, 6, 6}, requestType, std::move(files), std::move(callback))
{
    setName("OVADBForwardMediaThumbnailOperation");
}

std::shared_ptr<OVADBForwardMediaThumbnailOperation> OVADBForwardMediaThumbnailOperation::initWithThumbnailType(
    int8_t requestType, std::vector<OVFileRef> files, Callback callback)
{
    return std::make_shared<OVADBForwardMediaThumbnailOperation>(Passkey{}, requestType, std::move(files),
                                                                 std::move(callback));
}

ForwardBytes OVADBForwardMediaThumbnailOperation::thumbnailRequestDataWithType(int8_t requestType,
                                                                              const std::vector<OVFileRef>& files)
{
    ForwardFrameBuilder frame(CMD_Thumbnail, static_cast<uint8_t>(requestType));
    frame.u32(static_cast<uint32_t>(files.size()));
    for (const auto& file : files) {
        uint64_t id = 0;
        if (requestType == 1) {
            if (auto image = std::dynamic_pointer_cast<OVImageFile>(file))
                id = image->imageId();
        } else if (requestType == 2) {
            if (auto video = std::dynamic_pointer_cast<OVVideoFile>(file))
                id = video->videoId();
        } else if (requestType == 3) {
            if (auto album = std::dynamic_pointer_cast<OVAudioAlbum>(file))
                id = static_cast<uint64_t>(album->albumId());
        }
        if (requestType >= 1 && requestType <= 3)
            setRecordThumbnailError(file, false);
        frame.u64(id);
    }
    return std::move(frame).frame();
}

std::optional<Error> OVADBForwardMediaThumbnailOperation::parseThumbnailBodyData(const ForwardBytes& body,
                                                                                const std::vector<OVFileRef>& files)
{
    ForwardReader reader(body.data(), body.size(), kFrameHeaderLength);
    const auto count = body.size() >= 8 ? reader.i32() : std::nullopt;
    if (!count || *count <= 0)
        return adb_errorWithCode(ADBErrorSocketNoBody);

    std::unordered_map<uint64_t, OVFileRef> byId;
    for (const auto& file : files)
        if (auto id = mediaId(file))
            byId[*id] = file;

    for (int32_t item = 0; item < *count; ++item) {
        auto status = reader.u8();
        auto id = reader.u64();
        auto length = reader.i32();
        if (!status || !id || !length)
            break;  // an item cut short by the end of the body
        auto it = byId.find(*id);
        if (*status == 0 && *length > 0) {
            auto data = reader.bytes(static_cast<size_t>(*length));
            if (!data)
                break;
            if (it != byId.end())
                setRecordThumbnail(it->second, std::make_shared<const std::vector<uint8_t>>(std::move(*data)));
        } else if (it != byId.end()) {
            setRecordThumbnailError(it->second, true);
        }
    }
    return std::nullopt;
}

void OVADBForwardMediaThumbnailOperation::sendRequest()
{
    writeRequest(thumbnailRequestDataWithType(requestType(), files()));
}

void OVADBForwardMediaThumbnailOperation::parseResponseBody(const ForwardBytes& body)
{
    finish(parseThumbnailBodyData(body, files()));
}

}  // namespace orv
