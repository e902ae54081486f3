#pragma once
// Thumbnails by media-library id (command 0x08; type 1 pictures by imageId,
// 2 videos by videoId, 3 music albums by albumId). The reply's pictures are
// stored in the records' thumbnail; an item the phone could not make marks
// its record's getThumbnailError. A reply without items is error 12.

#include <optional>
#include <vector>

#include "core/bridge/companion/ForwardThumbnailOperation.h"

namespace orv {

class OVADBForwardMediaThumbnailOperation : public ForwardThumbnailOperation {
public:
    static std::shared_ptr<OVADBForwardMediaThumbnailOperation> initWithThumbnailType(
        int8_t requestType, std::vector<OVFileRef> files, Callback callback);

    // The framed request; clears the items' getThumbnailError (types 1-3).
    static ForwardBytes thumbnailRequestDataWithType(int8_t requestType, const std::vector<OVFileRef>& files);
    // Stores what the reply body carries into the records; error 12 when the
    // body holds no items.
    static std::optional<Error> parseThumbnailBodyData(const ForwardBytes& body, const std::vector<OVFileRef>& files);

    struct Passkey {};
    OVADBForwardMediaThumbnailOperation(Passkey, int8_t requestType, std::vector<OVFileRef> files, Callback callback);

protected:
    void sendRequest() override;
    void parseResponseBody(const ForwardBytes& body) override;
};

}  // namespace orv
