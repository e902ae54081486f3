#include "core/bridge/companion/OVADBForwardFileThumbnailOperation.h"

#include <unordered_map>

#include "core/bridge/model/ThumbnailRecords.h"

namespace orv {

namespace {

// The thumbnail message's own command byte (the media-id message has 0x08).
constexpr uint8_t CMD_Thumbnail = 0x01;

}  // namespace

OVADBForwardFileThumbnailOperation::OVADBForwardFileThumbnailOperation(Passkey, int8_t requestType,
                                                                       std::vector<OVFileRef> files, Callback callback)
    : ForwardThumbnailOperation(Timeouts{6, 6, 6}, requestType, std::move(files), std::move(callback))
{
    setName("OVADBForwardFileThumbnailOperation");
}

std::shared_ptr<OVADBForwardFileThumbnailOperation> OVADBForwardFileThumbnailOperation::initWithRequestType(
    int8_t requestType, std::vector<OVFileRef> files, Callback callback)
{
    return std::make_shared<OVADBForwardFileThumbnailOperation>(Passkey{}, requestType, std::move(files),
                                                                std::move(callback));
}

ForwardBytes OVADBForwardFileThumbnailOperation::thumbnailRequestDataWithType(int8_t requestType,
                                                                             const std::vector<OVFileRef>& files)
{
    ForwardFrameBuilder frame(CMD_Thumbnail, static_cast<uint8_t>(requestType));
    frame.u32(static_cast<uint32_t>(files.size()));
    for (const auto& file : files)
        frame.string(file ? file->path() : std::string());
    return std::move(frame).frame();
}

void OVADBForwardFileThumbnailOperation::parseThumbnailBodyData(const ForwardBytes& body,
                                                                const std::vector<OVFileRef>& files)
{
    ForwardReader reader(body.data(), body.size(), kFrameHeaderLength);
    const auto count = body.size() >= 8 ? reader.i32() : std::nullopt;
    if (!count || *count <= 0)
        return;

    std::unordered_map<std::string, OVFileRef> byPath;
    for (const auto& file : files)
        if (file)
            byPath[file->path()] = file;

    // At most as many items as were asked for.
    for (size_t item = 0; item < files.size(); ++item) {
        auto status = reader.u8();
        auto path = reader.string();
        auto length = reader.i32();
        if (!status || !path || !length)
            break;  // an item cut short by the end of the body
        if (*status != 0 || *length <= 0)
            continue;
        auto data = reader.bytes(static_cast<size_t>(*length));
        if (!data)
            break;
        if (auto it = byPath.find(*path); it != byPath.end())
            setRecordThumbnail(it->second, std::make_shared<const std::vector<uint8_t>>(std::move(*data)));
    }
}

void OVADBForwardFileThumbnailOperation::sendRequest()
{
    writeRequest(thumbnailRequestDataWithType(requestType(), files()));
}

void OVADBForwardFileThumbnailOperation::parseResponseBody(const ForwardBytes& body)
{
    parseThumbnailBodyData(body, files());
    finish(std::nullopt);
}

}  // namespace orv
