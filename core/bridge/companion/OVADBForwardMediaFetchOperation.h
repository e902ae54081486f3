#pragma once
// The library fetch (00 00 00 03 07 TT 01, type 1 photos, 2 music, 3
// videos): the reply is gzip-compressed JSON with "all_group", "all_item"
// and "item_with_group", which becomes file records grouped the way the
// panes show them. A reply that does not inflate or decode is an error,
// never an empty library.

#include <functional>
#include <optional>

#include <nlohmann/json.hpp>

#include "core/bridge/companion/OVADBForwardOperation.h"
#include "core/bridge/companion/OVMediaLibrary.h"

namespace orv {

class OVADBForwardMediaFetchOperation : public OVADBForwardOperation {
public:
    enum RequestType : int8_t { Photo = 1, Audio = 2, Video = 3 };
    // Runs on the socket callback queue.
    using FinishBlock = std::function<void(std::optional<OVMediaLibrary> library, std::optional<Error> error)>;

    static std::shared_ptr<OVADBForwardMediaFetchOperation> initWithrequestType(int8_t requestType, FinishBlock callback);

    int8_t requestType() const { return requestType_; }
    FinishBlock finishBlock() const;

    static ForwardBytes requestData(int8_t requestType);
    // The reply body inflated and decoded; nullopt with an error when it
    // does not inflate, is empty or is not JSON.
    static std::optional<nlohmann::json> convertResponseToDictionary(const ForwardBytes& body, std::optional<Error>& error);
    // The builders. A "list" given as JSON text that does not decode leaves
    // its group empty and reports the error beside what was built.
    static OVMediaLibrary parsePhotoData(const nlohmann::json& reply);
    static OVMediaLibrary parseAudioData(const nlohmann::json& reply, std::optional<Error>& error);
    static OVMediaLibrary parseVideoData(const nlohmann::json& reply, std::optional<Error>& error);
    // Decodes a whole reply body as its type's builder: what parseResponseBody
    // hands to the finish block.
    static std::optional<OVMediaLibrary> libraryFromResponseBody(int8_t requestType, const ForwardBytes& body,
                                                                 std::optional<Error>& error);

    struct Passkey {};
    OVADBForwardMediaFetchOperation(Passkey, int8_t requestType, FinishBlock callback);

protected:
    void sendRequest() override;
    void parseResponseBody(const ForwardBytes& body) override;
    void finishWithError(const Error& error) override;

private:
    const int8_t requestType_;
    const FinishBlock finishBlock_;
};

}  // namespace orv
