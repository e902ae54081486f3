#pragma once
// The base of every companion-service request: an asynchronous operation
// that owns one TCP connection to the forwarded local port, writes its
// request (sendRequest), reads one framed reply and hands the body to
// parseResponseBody. Transport failures end it with an "ADBError": 7 when
// the forwarded port cannot be reached at all (the socket's own error in the
// "underlying" info), 10 when the connection ends before the reply is
// complete, 11 on a timeout, 12 for a reply without a body or with a
// malformed length. The outcome is handed
// to the subclass's finish block at most once, and never once the operation
// was cancelled; cancelling a running request sends the close message.
//
// Operations are owned by std::shared_ptr (the socket holds its delegate
// weakly). Socket callbacks arrive on the global high-priority queue and are
// serialised by the operation's recursive lock.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "core/bridge/companion/OVADBForwardFrame.h"
#include "core/sockets/GCDAsyncSocket.h"
#include "core/sockets/GCDAsyncSocketDelegate.h"
#include "platform/Error.h"
#include "platform/OperationQueue.h"

namespace orv {

class OVADBForwardOperation : public Operation, public GCDAsyncSocketDelegate {
public:
    enum State : int64_t { StateReady = 0, StateExecuting = 1, StateFinished = 2 };

    // Seconds; a negative value means no timeout.
    struct Timeouts {
        double requestWrite = -1;
        double lengthRead = -1;
        double bodyRead = 6;
    };

    ~OVADBForwardOperation() override;

    std::shared_ptr<GCDAsyncSocket> socket() const;
    // Local forwarded port; set before queueing.
    uint64_t socketPort() const { return socketPort_.load(); }
    void setSocketPort(uint64_t port) { socketPort_.store(port); }
    int64_t state() const { return state_.load(); }
    // Body length announced by the reply being read.
    int64_t totalBodyLength() const;

    // Each message has its own; tests may shorten them.
    Timeouts timeouts() const;
    void setTimeouts(Timeouts timeouts);
    // Multiplies every timeout of every operation (1 by default); for tests.
    static void setTimeoutScale(double scale);
    // Operations of this family not yet completely destroyed (their socket
    // included), so a program can let the last ones close before it exits.
    static size_t liveOperations();

    void start() override;
    // Marks the operation cancelled. A running one sends the close message
    // and is finished at once; none calls its finish block afterwards.
    void cancel() override;
    bool isAsynchronous() const override { return true; }
    bool isReady() const override { return state() == StateReady && Operation::isReady(); }

    // Writes the close frame 00 00 00 03 04 00 01, waits for its answer (or
    // the end of the connection) behind it, and finishes the operation.
    void sendCloseRequest();

    // The big-endian value of the first 4 bytes, or 0 when there are fewer.
    static uint32_t parseResponseLengthWithHeader(const SocketData& data);

    void socketDidReadData(GCDAsyncSocket& sock, const SocketData& data, int64_t tag) override;
    void socketDidDisconnect(GCDAsyncSocket* sock, const std::optional<Error>& error) override;
    std::optional<double> socketShouldTimeoutReadWithTag(GCDAsyncSocket& sock, int64_t tag, double elapsed,
                                                         size_t bytesDone) override;
    std::optional<double> socketShouldTimeoutWriteWithTag(GCDAsyncSocket& sock, int64_t tag, double elapsed,
                                                          size_t bytesDone) override;

protected:
    explicit OVADBForwardOperation(Timeouts timeouts);

    // Writes the message's request; the base writes nothing. Called under
    // the lock once the connection is being made.
    virtual void sendRequest() {}
    // Parses a complete reply body (command, type and version first) and
    // calls the finish block. Called outside the lock, once.
    virtual void parseResponseBody(const ForwardBytes& body) { (void)body; }
    // Hands a failure to the finish block (no result). Called outside the lock.
    virtual void finishWithError(const Error& error) = 0;

    // Writes a request frame (tag 0) and asks for the reply's length (tag 1),
    // with this message's timeouts.
    void writeRequest(ForwardBytes frame);
    void writeRequest(ForwardBytes frame, double writeTimeout);
    void readResponseLength(double timeout);
    // Under the lock: asks for the next piece of the announced body. The
    // body grows as its bytes arrive; a length announced in a header is
    // never allocated up front.
    void readBodyPiece();
    // A timeout of this operation in seconds, scaled; negative stays negative.
    static double scaled(double seconds);

    // Under the lock: moves the state on (finished is final).
    void setState(int64_t state);
    // Under the lock: true once, when the outcome may still be delivered.
    bool claimOutcome();
    // Ends the operation with an error: finished, then the finish block (if
    // the outcome was still unclaimed), then the connection is let go.
    void failWithError(const Error& error);
    // A finished request has no more use for its connection.
    void releaseConnection();

    std::recursive_mutex& lock() const { return lock_; }

private:
    // First member, so it is destroyed last: after the socket.
    struct LiveCount {
        LiveCount();
        ~LiveCount();
    } live_;

protected:
    int64_t totalBodyLength_ = 0;
    ForwardBytes rawData_;

private:
    mutable std::recursive_mutex lock_;
    std::shared_ptr<GCDAsyncSocket> socket_;
    std::atomic<uint64_t> socketPort_{0};
    std::atomic<int64_t> state_{StateReady};
    Timeouts timeouts_;
    bool outcomeClaimed_ = false;
};

}  // namespace orv
