#pragma once
// A queued connect request of a GCDAsyncUdpSocket: the peer's candidate
// addresses once they are known, or the error that resolving them gave.

#include "core/sockets/SocketData.h"
#include "platform/Error.h"

#include <optional>
#include <vector>

namespace orv {

struct GCDAsyncUdpSpecialPacket {
    bool resolveInProgress = false;
    std::vector<Bytes> addresses;
    std::optional<Error> error;
};

}  // namespace orv
