#include "core/bridge/companion/OVADBForwardDeviceInfoOperation.h"

#include "core/bridge/facade/ADBError.h"
#include "core/bridge/companion/BoundedJson.h"

namespace orv {

OVADBForwardDeviceInfoOperation::OVADBForwardDeviceInfoOperation(Passkey)
    : OVADBForwardOperation(Timeouts{6, 12, 6})
{
    setName("OVADBForwardDeviceInfoOperation");
}

std::shared_ptr<OVADBForwardDeviceInfoOperation> OVADBForwardDeviceInfoOperation::make()
{
    return std::make_shared<OVADBForwardDeviceInfoOperation>(Passkey{});
}

OVADBForwardDeviceInfoOperation::FinishBlock OVADBForwardDeviceInfoOperation::finishBlock() const
{
    std::lock_guard guard(lock());
    return finishBlock_;
}

void OVADBForwardDeviceInfoOperation::setFinishBlock(FinishBlock block)
{
    std::lock_guard guard(lock());
    finishBlock_ = std::move(block);
}

ForwardBytes OVADBForwardDeviceInfoOperation::requestData()
{
    return forwardFrame(CMD_DeviceInfo, 0x03);
}

void OVADBForwardDeviceInfoOperation::sendRequest()
{
    writeRequest(requestData());
}

std::optional<nlohmann::json> OVADBForwardDeviceInfoOperation::convertResponseToDictionary(const ForwardBytes& body,
                                                                                         std::optional<Error>& error)
{
    error.reset();
    if (body.size() > 4) {
        auto info = parseBoundedJson(body.data() + kFrameHeaderLength, body.size() - kFrameHeaderLength);
        if (info.is_object())
            return info;
    }
    error = adb_errorWithMessage("无法解析");
    return std::nullopt;
}

void OVADBForwardDeviceInfoOperation::parseResponseBody(const ForwardBytes& body)
{
    std::optional<Error> error;
    auto info = convertResponseToDictionary(body, error);
    if (auto block = finishBlock())
        block(std::move(info), std::move(error));
}

void OVADBForwardDeviceInfoOperation::finishWithError(const Error& error)
{
    if (auto block = finishBlock())
        block(std::nullopt, error);
}

}  // namespace orv
