#include "core/bridge/companion/ForwardThumbnailOperation.h"

namespace orv {

ForwardThumbnailOperation::ForwardThumbnailOperation(Timeouts timeouts, int8_t requestType,
                                                     std::vector<OVFileRef> files, Callback callback)
    : OVADBForwardOperation(timeouts),
      requestType_(requestType),
      files_(std::move(files)),
      callback_(std::move(callback))
{
}

void ForwardThumbnailOperation::finish(std::optional<Error> error) const
{
    if (callback_)
        callback_(std::move(error));
}

}  // namespace orv
