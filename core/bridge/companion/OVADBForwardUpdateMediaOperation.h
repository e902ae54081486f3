#pragma once
// Tells the phone's media library about changed files: operation 0 deletes
// entries by media id (command 0x0b), operation 1 rescans paths relative to
// the storage root (command 0x0c). Any reply frame is success. Nothing to
// send (another operation value, or an empty list) succeeds at once.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/bridge/companion/OVADBForwardOperation.h"

namespace orv {

class OVADBForwardUpdateMediaOperation : public OVADBForwardOperation {
public:
    enum Kind : int64_t { DeleteByID = 0, RescanPaths = 1 };
    // Runs on the socket callback queue (or the queue's thread when there
    // was nothing to send).
    using Callback = std::function<void(std::optional<Error> error)>;

    static std::shared_ptr<OVADBForwardUpdateMediaOperation> initWithCallback(Callback callback);

    int64_t operation() const;
    void setOperation(int64_t operation);
    std::vector<uint64_t> mediaIds() const;
    void setMediaIds(std::vector<uint64_t> ids);
    std::vector<std::string> filePaths() const;
    void setFilePaths(std::vector<std::string> paths);

    // The framed requests; nullopt when the list is empty.
    std::optional<ForwardBytes> requestDataForID() const;
    std::optional<ForwardBytes> requestForPath() const;

    struct Passkey {};
    OVADBForwardUpdateMediaOperation(Passkey, Callback callback);

protected:
    void sendRequest() override;
    void parseResponseBody(const ForwardBytes& body) override;
    void finishWithError(const Error& error) override;

private:
    const Callback callback_;
    int64_t operation_ = DeleteByID;
    std::vector<uint64_t> mediaIds_;
    std::vector<std::string> filePaths_;
};

}  // namespace orv
