#pragma once
// What a queue-driven UDP socket reports, all of it on the delegate queue.
// Every method is optional; the defaults do nothing.

#include "core/sockets/SocketData.h"
#include "platform/Error.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace orv {

class GCDAsyncUdpSocket;

class GCDAsyncUdpSocketDelegate {
public:
    virtual ~GCDAsyncUdpSocketDelegate() = default;

    virtual void udpSocketDidConnectToAddress(GCDAsyncUdpSocket& /*sock*/, const Bytes& /*address*/) {}
    virtual void udpSocketDidNotConnect(GCDAsyncUdpSocket& /*sock*/, const Error& /*error*/) {}
    virtual void udpSocketDidSendDataWithTag(GCDAsyncUdpSocket& /*sock*/, int64_t /*tag*/) {}
    virtual void udpSocketDidNotSendDataWithTag(GCDAsyncUdpSocket& /*sock*/, int64_t /*tag*/, const Error& /*error*/) {}
    // `filterContext` is what the receive filter stored, nullptr without one.
    virtual void udpSocketDidReceiveData(GCDAsyncUdpSocket& /*sock*/, const Bytes& /*data*/, const Bytes& /*address*/,
                                         const std::shared_ptr<void>& /*filterContext*/)
    {
    }
    // A datagram that could not be received whole (longer than the receive
    // buffer) or a receive failure; the datagram is dropped, receiving goes on.
    virtual void udpSocketDidNotReceiveData(GCDAsyncUdpSocket& /*sock*/, const Error& /*error*/) {}
    // `sock` is nullptr when the socket closed because it was being destroyed.
    virtual void udpSocketDidClose(GCDAsyncUdpSocket* /*sock*/, const std::optional<Error>& /*error*/) {}
};

}  // namespace orv
