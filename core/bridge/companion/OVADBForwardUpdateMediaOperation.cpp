#include "core/bridge/companion/OVADBForwardUpdateMediaOperation.h"

namespace orv {

OVADBForwardUpdateMediaOperation::OVADBForwardUpdateMediaOperation(Passkey, Callback callback)
    : OVADBForwardOperation(Timeouts{-1, 6, 6}), callback_(std::move(callback))
{
    setName("OVADBForwardUpdateMediaOperation");
}

std::shared_ptr<OVADBForwardUpdateMediaOperation> OVADBForwardUpdateMediaOperation::initWithCallback(Callback callback)
{
    return std::make_shared<OVADBForwardUpdateMediaOperation>(Passkey{}, std::move(callback));
}

int64_t OVADBForwardUpdateMediaOperation::operation() const
{
    std::lock_guard guard(lock());
    return operation_;
}

void OVADBForwardUpdateMediaOperation::setOperation(int64_t operation)
{
    std::lock_guard guard(lock());
    operation_ = operation;
}

std::vector<uint64_t> OVADBForwardUpdateMediaOperation::mediaIds() const
{
    std::lock_guard guard(lock());
    return mediaIds_;
}

void OVADBForwardUpdateMediaOperation::setMediaIds(std::vector<uint64_t> ids)
{
    std::lock_guard guard(lock());
    mediaIds_ = std::move(ids);
}

std::vector<std::string> OVADBForwardUpdateMediaOperation::filePaths() const
{
    std::lock_guard guard(lock());
    return filePaths_;
}

void OVADBForwardUpdateMediaOperation::setFilePaths(std::vector<std::string> paths)
{
    std::lock_guard guard(lock());
    filePaths_ = std::move(paths);
}

std::optional<ForwardBytes> OVADBForwardUpdateMediaOperation::requestDataForID() const
{
    const auto ids = mediaIds();
    if (ids.empty())
        return std::nullopt;
    ForwardFrameBuilder frame(CMD_DeleteMedia, 0x00);
    frame.u32(static_cast<uint32_t>(ids.size()));
    for (uint64_t id : ids)
        frame.u64(id);
    return std::move(frame).frame();
}

std::optional<ForwardBytes> OVADBForwardUpdateMediaOperation::requestForPath() const
{
    const auto paths = filePaths();
    if (paths.empty())
        return std::nullopt;
    ForwardFrameBuilder frame(CMD_UpdateMedia, 0x00);
    frame.u32(static_cast<uint32_t>(paths.size()));
    for (const auto& path : paths)
        frame.string(path);
    return std::move(frame).frame();
}

void OVADBForwardUpdateMediaOperation::sendRequest()
{
    std::optional<ForwardBytes> request;
    const int64_t kind = operation();
    if (kind == DeleteByID)
        request = requestDataForID();
    else if (kind == RescanPaths)
        request = requestForPath();
    if (request) {
        writeRequest(std::move(*request));
        return;
    }
    // Nothing to tell the phone: done, without a word on the connection.
    setState(StateFinished);
    const bool deliver = claimOutcome();
    releaseConnection();
    if (deliver && callback_)
        callback_(std::nullopt);
}

void OVADBForwardUpdateMediaOperation::parseResponseBody(const ForwardBytes&)
{
    if (callback_)
        callback_(std::nullopt);
}

void OVADBForwardUpdateMediaOperation::finishWithError(const Error& error)
{
    if (callback_)
        callback_(error);
}

}  // namespace orv
