#pragma once
// What the two thumbnail requests (by file path, by media-library id) share:
// the request type, the records asked about, and the block that hears the
// outcome once the records were filled.

#include <functional>
#include <optional>
#include <vector>

#include "core/bridge/companion/OVADBForwardOperation.h"
#include "core/bridge/model/OVFile.h"

namespace orv {

class ForwardThumbnailOperation : public OVADBForwardOperation {
public:
    // Runs on the socket callback queue, after the records were filled.
    using Callback = std::function<void(std::optional<Error> error)>;

    int8_t requestType() const { return requestType_; }
    const std::vector<OVFileRef>& files() const { return files_; }

protected:
    ForwardThumbnailOperation(Timeouts timeouts, int8_t requestType, std::vector<OVFileRef> files,
                              Callback callback);

    // Hands the outcome to the callback, if there is one.
    void finish(std::optional<Error> error) const;
    void finishWithError(const Error& error) override { finish(error); }

private:
    const int8_t requestType_;
    const std::vector<OVFileRef> files_;
    const Callback callback_;
};

}  // namespace orv
