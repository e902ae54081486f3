#pragma once
// The device-information request (00 00 00 03 03 03 01): the reply is JSON
// with the phone's "battery_level", "device_name" and service "version".
// The request gets a 6 s write and a 12 s reply timeout, so a service that
// accepts but never answers cannot hold the device load forever.

#include <functional>
#include <optional>

#include <nlohmann/json.hpp>

#include "core/bridge/companion/OVADBForwardOperation.h"

namespace orv {

class OVADBForwardDeviceInfoOperation : public OVADBForwardOperation {
public:
    // The decoded object, or an error (transport errors, or code 0 "无法解析"
    // for a body that is not a JSON object). Runs on the socket callback queue.
    using FinishBlock = std::function<void(std::optional<nlohmann::json> info, std::optional<Error> error)>;

    static std::shared_ptr<OVADBForwardDeviceInfoOperation> make();

    FinishBlock finishBlock() const;
    void setFinishBlock(FinishBlock block);

    static ForwardBytes requestData();
    // The reply body decoded; nullopt with an error when it is not an object.
    static std::optional<nlohmann::json> convertResponseToDictionary(const ForwardBytes& body, std::optional<Error>& error);

    struct Passkey {};
    explicit OVADBForwardDeviceInfoOperation(Passkey);

protected:
    void sendRequest() override;
    void parseResponseBody(const ForwardBytes& body) override;
    void finishWithError(const Error& error) override;

private:
    FinishBlock finishBlock_;
};

}  // namespace orv
