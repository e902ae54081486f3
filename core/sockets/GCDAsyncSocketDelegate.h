#pragma once
// What a socket reports, all of it on the delegate queue. Every method is
// optional. For most, the default does nothing; the three whose absence
// changes what the socket does say "not implemented" through their result:
// std::nullopt from the queue and timeout questions, false from the trust one.

#include "core/sockets/SocketData.h"
#include "platform/Dispatch.h"
#include "platform/Error.h"

#include <functional>
#include <optional>

namespace orv {

class GCDAsyncSocket;
class GCDAsyncSocketTrust;

class GCDAsyncSocketDelegate {
public:
    virtual ~GCDAsyncSocketDelegate() = default;

    // The queue for a socket made for an accepted connection. nullptr or
    // std::nullopt: the new socket makes its own serial queue.
    virtual std::optional<dispatch::QueueRef> newSocketQueueForConnectionFromAddress(const Bytes& /*address*/,
                                                                                     GCDAsyncSocket& /*sock*/)
    {
        return std::nullopt;
    }
    // The delegate must keep `newSocket`, or it is closed when it goes away.
    virtual void socketDidAcceptNewSocket(GCDAsyncSocket& /*sock*/, const std::shared_ptr<GCDAsyncSocket>& /*newSocket*/) {}
    virtual void socketDidConnectToHost(GCDAsyncSocket& /*sock*/, const std::string& /*host*/, uint16_t /*port*/) {}
    virtual void socketDidReadData(GCDAsyncSocket& /*sock*/, const SocketData& /*data*/, int64_t /*tag*/) {}
    virtual void socketDidReadPartialDataOfLength(GCDAsyncSocket& /*sock*/, size_t /*partialLength*/, int64_t /*tag*/) {}
    virtual void socketDidWriteDataWithTag(GCDAsyncSocket& /*sock*/, int64_t /*tag*/) {}
    virtual void socketDidWritePartialDataOfLength(GCDAsyncSocket& /*sock*/, size_t /*partialLength*/, int64_t /*tag*/) {}
    // A read or write timed out. Seconds to extend it by, or 0 (or less) to
    // close the socket; std::nullopt means not implemented, which closes too.
    virtual std::optional<double> socketShouldTimeoutReadWithTag(GCDAsyncSocket& /*sock*/, int64_t /*tag*/,
                                                                 double /*elapsed*/, size_t /*bytesDone*/)
    {
        return std::nullopt;
    }
    virtual std::optional<double> socketShouldTimeoutWriteWithTag(GCDAsyncSocket& /*sock*/, int64_t /*tag*/,
                                                                  double /*elapsed*/, size_t /*bytesDone*/)
    {
        return std::nullopt;
    }
    virtual void socketDidCloseReadStream(GCDAsyncSocket& /*sock*/) {}
    // `sock` is nullptr when the socket closed because it was being destroyed.
    virtual void socketDidDisconnect(GCDAsyncSocket* /*sock*/, const std::optional<Error>& /*error*/) {}
    virtual void socketDidSecure(GCDAsyncSocket& /*sock*/) {}
    // Manual trust evaluation: return true and call `completionHandler` once,
    // from any thread, with the verdict. false means not implemented, and the
    // socket closes.
    virtual bool socketDidReceiveTrust(GCDAsyncSocket& /*sock*/, const std::shared_ptr<GCDAsyncSocketTrust>& /*trust*/,
                                       std::function<void(bool)> /*completionHandler*/)
    {
        return false;
    }
};

}  // namespace orv
