#pragma once
// One queued datagram of a GCDAsyncUdpSocket, with its destination as it is
// resolved and chosen.

#include "core/sockets/SocketData.h"
#include "platform/Error.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace orv {

struct GCDAsyncUdpSendPacket {
    GCDAsyncUdpSendPacket(std::shared_ptr<const Bytes> data, double timeout, int64_t tag)
        : buffer(std::move(data)), timeout(timeout), tag(tag)
    {
    }

    std::shared_ptr<const Bytes> buffer;
    double timeout;  // seconds; negative: none
    int64_t tag;
    bool resolveInProgress = false;
    bool filterInProgress = false;
    // Set when the datagram was given a host name.
    std::optional<std::vector<Bytes>> resolvedAddresses;
    std::optional<Error> resolveError;
    std::optional<Bytes> address;
    int addressFamily = 0;
};

}  // namespace orv
