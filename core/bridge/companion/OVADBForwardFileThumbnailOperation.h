#pragma once
// Thumbnails by file path (command 0x01; type 1 pictures, 2 videos). The
// reply's pictures are stored in the thumbnail of the records with the same
// path; a reply without items stores nothing and is no error.

#include <optional>
#include <vector>

#include "core/bridge/companion/ForwardThumbnailOperation.h"

namespace orv {

class OVADBForwardFileThumbnailOperation : public ForwardThumbnailOperation {
public:
    static std::shared_ptr<OVADBForwardFileThumbnailOperation> initWithRequestType(int8_t requestType,
                                                                                   std::vector<OVFileRef> files,
                                                                                   Callback callback);

    static ForwardBytes thumbnailRequestDataWithType(int8_t requestType, const std::vector<OVFileRef>& files);
    static void parseThumbnailBodyData(const ForwardBytes& body, const std::vector<OVFileRef>& files);

    struct Passkey {};
    OVADBForwardFileThumbnailOperation(Passkey, int8_t requestType, std::vector<OVFileRef> files, Callback callback);

protected:
    void sendRequest() override;
    void parseResponseBody(const ForwardBytes& body) override;
};

}  // namespace orv
