#pragma once
// One datagram queued on a run-loop UDP socket.

#include "core/sockets/SocketData.h"

#include <optional>

namespace orv {

struct AsyncSendPacket {
    Bytes buffer;
    std::optional<Bytes> address;  // none on a connected socket
    double timeout;                // seconds; negative: none
    long tag;
};

}  // namespace orv
