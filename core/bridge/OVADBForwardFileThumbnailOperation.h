#pragma once
// Thumbnails by file path (command 0x01; type 1 pictures, 2 videos). The
// reply's pictures are stored in the thumbnail of the records with the same
// path; a reply without items stores nothing and is no error.

#include <functional>
#include <optional>
#include <vector>

#include "core/bridge/OVADBForwardOperation.h"
#include "core/bridge/OVFile.h"

namespace orv {

class OVADBForwardFileThumbnailOperation : public OVADBForwardOperation {
public:
    // Runs on the socket callback queue, after the records were filled.
    using Callback = std::function<void(std::optional<Error> error)>;

    static std::shared_ptr<OVADBForwardFileThumbnailOperation> initWithRequestType(int8_t requestType,
                                                                                   std::vector<OVFileRef> files,
                                                                                   Callback callback);

    int8_t requestType() const { return requestType_; }
    const std::vector<OVFileRef>& files() const { return files_; }

    static ForwardBytes thumbnailRequestDataWithType(int8_t requestType, const std::vector<OVFileRef>& files);
    static void parseThumbnailBodyData(const ForwardBytes& body, const std::vector<OVFileRef>& files);

    struct Passkey {};
    OVADBForwardFileThumbnailOperation(Passkey, int8_t requestType, std::vector<OVFileRef> files, Callback callback);

protected:
    void sendRequest() override;
    void parseResponseBody(const ForwardBytes& body) override;
    void finishWithError(const Error& error) override;

private:
    const int8_t requestType_;
    const std::vector<OVFileRef> files_;
    const Callback callback_;
};

}  // namespace orv
