#pragma once
// What a run-loop UDP socket reports, on its run loop's thread, from inside
// its own processing. Every method is optional; the defaults do nothing.

#include "core/sockets/SocketData.h"
#include "platform/Error.h"

#include <cstdint>
#include <optional>
#include <string>

namespace orv {

class AsyncUdpSocket;

class AsyncUdpSocketDelegate {
public:
    virtual ~AsyncUdpSocketDelegate() = default;

    virtual void onUdpSocketDidSendDataWithTag(AsyncUdpSocket& /*sock*/, long /*tag*/) {}
    virtual void onUdpSocketDidNotSendDataWithTag(AsyncUdpSocket& /*sock*/, long /*tag*/, const Error& /*error*/) {}
    // true takes the datagram and completes the receive; false drops it and
    // waits for the next. std::nullopt: not implemented (the datagram is
    // taken and lost).
    virtual std::optional<bool> onUdpSocketDidReceiveData(AsyncUdpSocket& /*sock*/, const Bytes& /*data*/,
                                                          long /*tag*/, const std::string& /*host*/,
                                                          uint16_t /*port*/)
    {
        return std::nullopt;
    }
    virtual void onUdpSocketDidNotReceiveDataWithTag(AsyncUdpSocket& /*sock*/, long /*tag*/, const Error& /*error*/) {}
    virtual void onUdpSocketDidClose(AsyncUdpSocket& /*sock*/) {}
};

}  // namespace orv
