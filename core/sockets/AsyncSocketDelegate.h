#pragma once
// What a run-loop TCP socket reports, on its run loop's thread, from inside
// its own processing. Every method is optional; the defaults do nothing (the
// questions answer as an absent delegate would).

#include "core/sockets/SocketData.h"
#include "platform/Error.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace orv {

class AsyncSocket;
class RunLoop;

class AsyncSocketDelegate {
public:
    virtual ~AsyncSocketDelegate() = default;

    // false aborts the connect (or the accepted connection) with the abort error.
    virtual bool onSocketWillConnect(AsyncSocket& /*sock*/) { return true; }
    // The delegate must keep `newSocket`; the listener does not.
    virtual void onSocketDidAcceptNewSocket(AsyncSocket& /*sock*/, const std::shared_ptr<AsyncSocket>& /*newSocket*/) {}
    // The loop the accepted socket is to use; nullptr: the listener's thread's.
    virtual RunLoop* onSocketWantsRunLoopForNewSocket(AsyncSocket& /*sock*/, AsyncSocket& /*newSocket*/)
    {
        return nullptr;
    }
    virtual void onSocketDidConnectToHost(AsyncSocket& /*sock*/, const std::string& /*host*/, uint16_t /*port*/) {}
    virtual void onSocketDidReadData(AsyncSocket& /*sock*/, const SocketData& /*data*/, long /*tag*/) {}
    virtual void onSocketDidReadPartialDataOfLength(AsyncSocket& /*sock*/, size_t /*partialLength*/, long /*tag*/) {}
    // Seconds to extend the timed-out request by; 0 or less (or nothing)
    // ends it and closes the socket.
    virtual std::optional<double> onSocketShouldTimeoutReadWithTag(AsyncSocket& /*sock*/, long /*tag*/,
                                                                   double /*elapsed*/, size_t /*bytesDone*/)
    {
        return std::nullopt;
    }
    virtual void onSocketDidWriteDataWithTag(AsyncSocket& /*sock*/, long /*tag*/) {}
    virtual void onSocketDidWritePartialDataOfLength(AsyncSocket& /*sock*/, size_t /*partialLength*/, long /*tag*/) {}
    virtual std::optional<double> onSocketShouldTimeoutWriteWithTag(AsyncSocket& /*sock*/, long /*tag*/,
                                                                    double /*elapsed*/, size_t /*bytesDone*/)
    {
        return std::nullopt;
    }
    virtual void onSocketDidSecure(AsyncSocket& /*sock*/) {}
    // Before a started socket closes for a reason; no error for an orderly
    // end of stream. unreadData() answers only from here.
    virtual void onSocketWillDisconnectWithError(AsyncSocket& /*sock*/, const std::optional<Error>& /*error*/) {}
    // A started socket has closed. `sock` is nullptr when it closed because
    // it was being destroyed.
    virtual void onSocketDidDisconnect(AsyncSocket* /*sock*/) {}
};

}  // namespace orv
