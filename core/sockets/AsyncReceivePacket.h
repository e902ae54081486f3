#pragma once
// One receive request of a run-loop UDP socket, with the datagram once read.

#include "core/sockets/SocketData.h"

#include <cstdint>
#include <optional>
#include <string>

namespace orv {

struct AsyncReceivePacket {
    AsyncReceivePacket(double timeout, long tag) : timeout(timeout), tag(tag) {}

    double timeout;  // seconds; negative: none
    long tag;
    std::optional<Bytes> buffer;
    std::optional<std::string> host;
    uint16_t port = 0;
};

}  // namespace orv
