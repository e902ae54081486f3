#include "core/bridge/companion/OVADBForwardOperation.h"

#include <algorithm>
#include <cerrno>

#include "core/bridge/facade/ADBError.h"
#include "core/bridge/adb/OVADBManagerOperation.h"
#include "platform/Dispatch.h"

namespace orv {

namespace {

std::atomic<double> timeoutScale{1.0};
std::atomic<size_t> liveCount{0};

// True for the socket errors that only a connection attempt gives: nothing
// listened at the port, or the address could not be found. Told apart by the
// error itself, since the socket's callbacks may overtake one another.
bool neverConnected(const Error& error)
{
    if (error.domain == GCDAsyncSocketLookupErrorDomain)
        return true;
    if (error.domain != GCDAsyncSocketPOSIXErrorDomain)
        return false;
    switch (error.code) {
    case ECONNREFUSED:
    case ENETUNREACH:
    case EHOSTUNREACH:
    case EADDRNOTAVAIL:
        return true;
    default:
        return false;
    }
}

}  // namespace

OVADBForwardOperation::LiveCount::LiveCount()
{
    ++liveCount;
}

OVADBForwardOperation::LiveCount::~LiveCount()
{
    --liveCount;
}

size_t OVADBForwardOperation::liveOperations()
{
    return liveCount.load();
}

OVADBForwardOperation::OVADBForwardOperation(Timeouts timeouts) : timeouts_(timeouts) {}

OVADBForwardOperation::~OVADBForwardOperation()
{
    if (socket_) {
        socket_->setDelegate({});
        socket_->disconnect();
    }
}

std::shared_ptr<GCDAsyncSocket> OVADBForwardOperation::socket() const
{
    std::lock_guard guard(lock_);
    return socket_;
}

int64_t OVADBForwardOperation::totalBodyLength() const
{
    std::lock_guard guard(lock_);
    return totalBodyLength_;
}

OVADBForwardOperation::Timeouts OVADBForwardOperation::timeouts() const
{
    std::lock_guard guard(lock_);
    return timeouts_;
}

void OVADBForwardOperation::setTimeouts(Timeouts timeouts)
{
    std::lock_guard guard(lock_);
    timeouts_ = timeouts;
}

void OVADBForwardOperation::setTimeoutScale(double scale)
{
    timeoutScale.store(scale > 0 ? scale : 1.0);
}

double OVADBForwardOperation::scaled(double seconds)
{
    return seconds < 0 ? seconds : seconds * timeoutScale.load();
}

uint32_t OVADBForwardOperation::parseResponseLengthWithHeader(const SocketData& data)
{
    return parseResponseLength(data.data(), data.size());
}

// ------------------------------------------------------------------ state

void OVADBForwardOperation::setState(int64_t state)
{
    std::lock_guard guard(lock_);
    const int64_t current = state_.load();
    if (current == StateFinished || current == state)
        return;
    if (current == StateExecuting && state != StateFinished)
        return;
    state_.store(state);
    if (state == StateExecuting)
        setExecuting(true);
    else if (state == StateFinished)
        setFinished();
}

bool OVADBForwardOperation::claimOutcome()
{
    std::lock_guard guard(lock_);
    if (outcomeClaimed_ || isCancelled())
        return false;
    outcomeClaimed_ = true;
    return true;
}

void OVADBForwardOperation::failWithError(const Error& error)
{
    bool deliver = false;
    {
        std::lock_guard guard(lock_);
        if (state_.load() == StateFinished)
            return;
        setState(StateFinished);
        deliver = claimOutcome();
    }
    if (deliver)
        finishWithError(error);
    releaseConnection();
}

void OVADBForwardOperation::releaseConnection()
{
    std::shared_ptr<GCDAsyncSocket> socket = this->socket();
    if (socket)
        socket->disconnectAfterWriting();
}

// -------------------------------------------------------------- life cycle

void OVADBForwardOperation::start()
{
    std::optional<Error> connectError;
    {
        std::lock_guard guard(lock_);
        if (state_.load() != StateReady)
            return;
        if (isCancelled()) {
            setState(StateFinished);
            return;
        }
        auto self = std::static_pointer_cast<OVADBForwardOperation>(shared_from_this());
        socket_ = GCDAsyncSocket::create(std::weak_ptr<GCDAsyncSocketDelegate>(self),
                                         dispatch::Queue::global(dispatch::Priority::High));
        Error error;
        if (!socket_->connectToHost("localhost", static_cast<uint16_t>(socketPort()), -1, &error)) {
            setState(StateFinished);
            if (claimOutcome())
                connectError = error;
        } else {
            setState(StateExecuting);
            // The socket queues the request until the connection is made.
            sendRequest();
        }
    }
    if (connectError)
        finishWithError(*connectError);
}

void OVADBForwardOperation::cancel()
{
    std::lock_guard guard(lock_);
    if (isCancelled())
        return;
    Operation::cancel();
    if (state_.load() != StateExecuting)
        return;  // a waiting operation finishes when it is started
    if (socket_)
        sendCloseRequest();
    else
        setState(StateFinished);
}

void OVADBForwardOperation::sendCloseRequest()
{
    std::lock_guard guard(lock_);
    if (socket_) {
        socket_->writeData(forwardFrame(CMD_Close, 0x00), scaled(6), kCloseTag);
        socket_->readDataToLength(4, scaled(6), kCloseTag);
    }
    setState(StateFinished);
}

// ---------------------------------------------------------------- requests

void OVADBForwardOperation::writeRequest(ForwardBytes frame)
{
    writeRequest(std::move(frame), timeouts().requestWrite);
}

void OVADBForwardOperation::writeRequest(ForwardBytes frame, double writeTimeout)
{
    std::lock_guard guard(lock_);
    if (!socket_)
        return;
    socket_->writeData(std::move(frame), scaled(writeTimeout), kRequestTag);
    readResponseLength(timeouts_.lengthRead);
}

void OVADBForwardOperation::readResponseLength(double timeout)
{
    std::lock_guard guard(lock_);
    if (socket_)
        socket_->readDataToLength(4, scaled(timeout), kLengthTag);
}

void OVADBForwardOperation::readBodyPiece()
{
    constexpr int64_t kBodyPiece = 256 * 1024;
    const int64_t left = totalBodyLength_ - static_cast<int64_t>(rawData_.size());
    if (socket_ && left > 0)
        socket_->readDataToLength(size_t(std::min(left, kBodyPiece)), scaled(timeouts_.bodyRead), kBodyTag);
}

// ------------------------------------------------------------------ replies

void OVADBForwardOperation::socketDidReadData(GCDAsyncSocket&, const SocketData& data, int64_t tag)
{
    if (tag == kCloseTag) {
        setState(StateFinished);
        releaseConnection();
        return;
    }

    ForwardBytes body;
    {
        std::lock_guard guard(lock_);
        if (isCancelled() || state_.load() == StateFinished)
            return;
        if (tag == kLengthTag) {
            const uint32_t length = parseResponseLengthWithHeader(data);
            totalBodyLength_ = length;
            if (isAcceptableBodyLength(length)) {
                rawData_.clear();
                readBodyPiece();
                return;
            }
            if (length != 0)
                bridgeLog(name() + ": reply announces " + std::to_string(length) + " body bytes");
            // No body, or a length that cannot hold a frame: fall through to
            // the failure below, outside the lock.
        } else {
            rawData_.insert(rawData_.end(), data.data(), data.data() + data.size());
            if (static_cast<int64_t>(rawData_.size()) < totalBodyLength_) {
                readBodyPiece();
                return;
            }
            setState(StateFinished);
            if (!claimOutcome())
                return;
            body.swap(rawData_);
        }
    }
    if (body.empty()) {
        failWithError(adb_errorWithCode(ADBErrorSocketNoBody));
        return;
    }
    parseResponseBody(body);
    releaseConnection();
}

void OVADBForwardOperation::socketDidDisconnect(GCDAsyncSocket*, const std::optional<Error>& error)
{
    {
        std::lock_guard guard(lock_);
        if (isCancelled() || state_.load() == StateFinished)
            return;
        if (error)
            bridgeLog(name() + " " + error->description());
    }
    if (error && neverConnected(*error)) {
        // Nothing listens at the forwarded port: the service cannot be
        // reached, which no retry of the request will mend.
        Error unreachable = adb_errorWithCode(ADBErrorServiceNotStarted);
        unreachable.info["underlyingDomain"] = error->domain;
        unreachable.info["underlyingCode"] = std::to_string(error->code);
        unreachable.info["underlying"] = error->description();
        failWithError(unreachable);
        return;
    }
    // Whether the phone reset the connection or closed it cleanly, the reply
    // is incomplete: never a success with nothing in it.
    failWithError(adb_errorWithCode(ADBErrorSocketReset));
}

std::optional<double> OVADBForwardOperation::socketShouldTimeoutReadWithTag(GCDAsyncSocket&, int64_t, double, size_t)
{
    failWithError(adb_errorWithCode(ADBErrorSocketTimeout));
    return 0.0;
}

std::optional<double> OVADBForwardOperation::socketShouldTimeoutWriteWithTag(GCDAsyncSocket&, int64_t, double, size_t)
{
    failWithError(adb_errorWithCode(ADBErrorSocketTimeout));
    return 0.0;
}

}  // namespace orv
