#pragma once
// The server's trust, handed to the delegate when it evaluates trust itself:
// the certificates the server presented, and a standard evaluation the
// delegate may run (optionally with extra trusted roots of its own).

#include "core/sockets/SocketData.h"

#include <string>
#include <vector>

namespace orv {

class GCDAsyncSocketTrust {
public:
    GCDAsyncSocketTrust(std::vector<Bytes> certificatesDer, std::string peerName);

    // DER certificates, the server's own first.
    const std::vector<Bytes>& certificates() const { return certificates_; }
    // The name the session expects (empty when none was set).
    const std::string& peerName() const { return peerName_; }

    // Verifies the chain against the system's trusted roots plus `extraRootsPem`,
    // and the peer name when there is one. On failure fills `failureReason`.
    bool evaluate(std::string* failureReason = nullptr, const std::string& extraRootsPem = {}) const;

private:
    std::vector<Bytes> certificates_;
    std::string peerName_;
};

}  // namespace orv
