// AsyncSocket: the object, its run loop and modes, the errors, closing and
// the state and address queries. Accepting and connecting live in
// AsyncSocketConnect.cpp, reading in AsyncSocketRead.cpp, writing and TLS in
// AsyncSocketWrite.cpp.
#include "core/sockets/AsyncSocket.h"

#include "core/sockets/SocketAddress.h"
#include "core/sockets/SocketTexts.h"
#include "platform/RunLoopTimer.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>

namespace orv {

namespace {

Error fixedError(long code, const char* key, const char* english)
{
    Error error;
    error.domain = AsyncSocketErrorDomain;
    error.code = code;
    error.message = socketText("AsyncSocket", key, english);
    return error;
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction

std::shared_ptr<AsyncSocket> AsyncSocket::create(std::weak_ptr<AsyncSocketDelegate> delegate, long userData)
{
    return std::make_shared<AsyncSocket>(PrivateTag{}, std::move(delegate), userData);
}

AsyncSocket::AsyncSocket(PrivateTag, std::weak_ptr<AsyncSocketDelegate> delegate, long userData)
    : delegate_(std::move(delegate)), userData_(userData)
{
    partialReadBuffer_.reserve(256);
}

AsyncSocket::~AsyncSocket()
{
    destroying_ = true;
    RunLoop* loop = runLoop_ ? runLoop_.get() : nullptr;
    std::shared_ptr<RunLoop> keep = runLoop_;
    close();
    if (loop)
        loop->cancelPerforms(this);
    RunLoop::current().cancelPerforms(this);
}

bool AsyncSocket::canSafelySetDelegate() const
{
    return readQueue_.empty() && writeQueue_.empty() && !currentRead_ && !currentWrite_;
}

void AsyncSocket::checkForThreadSafety() const
{
    if (runLoop_ && !runLoop_->isCurrent())
        throw Exception(AsyncSocketException, "Attempting to access AsyncSocket instance from incorrect thread.");
}

// ---------------------------------------------------------------------------
// Run loop

RunLoop& AsyncSocket::loop() const
{
    return runLoop_ ? *runLoop_ : RunLoop::current();
}

void AsyncSocket::post(const char* action, void (AsyncSocket::*step)(), const std::vector<RunLoopMode>& modes)
{
    std::weak_ptr<AsyncSocket> weakSelf = weak_from_this();
    RunLoop::current().perform(this, action, std::chrono::nanoseconds(0), [weakSelf, step] {
        if (auto self = weakSelf.lock())
            ((*self).*step)();
    }, modes);
}

void AsyncSocket::postSteps(const std::vector<RunLoopMode>& modes)
{
    post("maybeDequeueRead", &AsyncSocket::maybeDequeueRead, modes);
    post("maybeDequeueWrite", &AsyncSocket::maybeDequeueWrite, modes);
    post("maybeScheduleDisconnect", &AsyncSocket::maybeScheduleDisconnect, modes);
}

void AsyncSocket::cancelPosted()
{
    loop().cancelPerforms(this);
    if (&loop() != &RunLoop::current())
        RunLoop::current().cancelPerforms(this);
    flags_ &= ~(kReadDequeuePosted | kWriteDequeuePosted);
}

void AsyncSocket::detachFromLoop()
{
    if (!runLoop_)
        return;
    if (streams_)
        streams_->unschedule(*runLoop_, runLoopModes_);
    for (auto* socket : {&socket4_, &socket6_})
        if (*socket)
            (*socket)->unschedule(*runLoop_, runLoopModes_);
    for (auto* timer : {&readTimer_, &writeTimer_})
        if (*timer)
            for (const auto& mode : runLoopModes_)
                runLoop_->removeTimer(*timer, mode);
}

void AsyncSocket::attachTimersAndSources(const std::vector<RunLoopMode>& modes)
{
    if (!runLoop_)
        return;
    for (auto* timer : {&readTimer_, &writeTimer_})
        if (*timer)
            for (const auto& mode : modes)
                runLoop_->addTimer(*timer, mode);
    for (auto* socket : {&socket4_, &socket6_})
        if (*socket)
            (*socket)->schedule(*runLoop_, modes);
}

std::shared_ptr<RunLoopTimer> AsyncSocket::makeTimer(double seconds, void (AsyncSocket::*handler)())
{
    auto timer = RunLoopTimer::makeWithTarget<AsyncSocket>(
        std::chrono::nanoseconds(static_cast<int64_t>(seconds * 1e9)), false, weak_from_this(),
        [handler](AsyncSocket& self, RunLoopTimer&) { (self.*handler)(); });
    for (const auto& mode : runLoopModes_)
        loop().addTimer(timer, mode);
    return timer;
}

bool AsyncSocket::moveToRunLoop(RunLoop* runLoop)
{
    if (!runLoop)
        return false;
    if (runLoop == runLoop_.get())
        return true;
    cancelPosted();
    detachFromLoop();
    runLoop_ = runLoop->shared_from_this();
    attachTimersAndSources(runLoopModes_);
    if (streams_ && !attachStreamsToRunLoop(runLoop, nullptr))
        return false;
    std::weak_ptr<AsyncSocket> weakSelf = weak_from_this();
    runLoop->post([weakSelf] {
        if (auto self = weakSelf.lock()) {
            self->maybeDequeueRead();
            self->maybeDequeueWrite();
            self->maybeScheduleDisconnect();
        }
    }, runLoopModes_);
    return true;
}

bool AsyncSocket::setRunLoopModes(const std::vector<RunLoopMode>& modes)
{
    if (modes.empty())
        return false;
    if (modes == runLoopModes_)
        return true;
    cancelPosted();
    detachFromLoop();
    runLoopModes_ = modes;
    attachTimersAndSources(runLoopModes_);
    if (streams_ && !attachStreamsToRunLoop(&RunLoop::current(), nullptr))
        return false;
    postSteps(runLoopModes_);
    return true;
}

bool AsyncSocket::addRunLoopMode(const RunLoopMode& mode)
{
    if (mode.empty())
        return false;
    if (std::find(runLoopModes_.begin(), runLoopModes_.end(), mode) != runLoopModes_.end())
        return true;
    cancelPosted();
    runLoopModes_.push_back(mode);
    attachTimersAndSources({mode});
    if (streams_)
        streams_->schedule(RunLoop::current(), {mode});
    postSteps(runLoopModes_);
    return true;
}

bool AsyncSocket::removeRunLoopMode(const RunLoopMode& mode)
{
    if (mode.empty())
        return false;
    auto it = std::find(runLoopModes_.begin(), runLoopModes_.end(), mode);
    if (it == runLoopModes_.end())
        return true;
    if (runLoopModes_.size() == 1)
        return false;
    cancelPosted();
    runLoopModes_.erase(it);
    if (runLoop_) {
        for (auto* timer : {&readTimer_, &writeTimer_})
            if (*timer)
                runLoop_->removeTimer(*timer, mode);
        for (auto* socket : {&socket4_, &socket6_})
            if (*socket)
                (*socket)->unschedule(*runLoop_, {mode});
    }
    if (streams_)
        streams_->unschedule(RunLoop::current(), {mode});
    postSteps(runLoopModes_);
    return true;
}

// ---------------------------------------------------------------------------
// Errors

Error AsyncSocket::getSocketError()
{
    return fixedError(AsyncSocketCFSocketError, "AsyncSocketCFSocketError", "General CFSocket error");
}

Error AsyncSocket::getAbortError()
{
    return fixedError(AsyncSocketCanceledError, "AsyncSocketCanceledError", "Connection canceled");
}

Error AsyncSocket::getConnectTimeoutError()
{
    return fixedError(AsyncSocketConnectTimeoutError, "AsyncSocketConnectTimeoutError",
                      "Attempt to connect to host timed out");
}

Error AsyncSocket::getReadMaxedOutError()
{
    return fixedError(AsyncSocketReadMaxedOutError, "AsyncSocketReadMaxedOutError",
                      "Read operation reached set maximum length");
}

Error AsyncSocket::getReadTimeoutError()
{
    return fixedError(AsyncSocketReadTimeoutError, "AsyncSocketReadTimeoutError", "Read operation timed out");
}

Error AsyncSocket::getWriteTimeoutError()
{
    return fixedError(AsyncSocketWriteTimeoutError, "AsyncSocketWriteTimeoutError", "Write operation timed out");
}

Error AsyncSocket::getErrnoError(int errorNumber)
{
    Error error;
    error.domain = "NSPOSIXErrorDomain";
    error.code = errorNumber;
    error.message = std::strerror(errorNumber);
    return error;
}

std::optional<Error> AsyncSocket::errorFromCFStreamError(StreamError streamError)
{
    if (streamError.domain == 0 && streamError.error == 0)
        return std::nullopt;
    Error error;
    error.code = streamError.error;
    switch (streamError.domain) {
    case kStreamErrorDomainMacOSStatus:
        error.domain = "NSOSStatusErrorDomain";
        break;
    case kStreamErrorDomainPOSIX:
        error.domain = "NSPOSIXErrorDomain";
        break;
    case kStreamErrorDomainMach:
        error.domain = "NSMachErrorDomain";
        break;
    case kStreamErrorDomainNetDB:
        error.domain = "kCFStreamErrorDomainNetDB";
        if (const char* text = gai_strerror(streamError.error))
            error.message = text;
        break;
    case kStreamErrorDomainNetServices:
        error.domain = "kCFStreamErrorDomainNetServices";
        break;
    case kStreamErrorDomainSOCKS:
        error.domain = "kCFStreamErrorDomainSOCKS";
        break;
    case kStreamErrorDomainSystemConfiguration:
        error.domain = "kCFStreamErrorDomainSystemConfiguration";
        break;
    case kStreamErrorDomainSSL:
        error.domain = "kCFStreamErrorDomainSSL";
        break;
    default:
        error.domain = "CFStreamError (unlisted domain)";
        break;
    }
    return error;
}

std::optional<Error> AsyncSocket::getStreamError() const
{
    if (!streams_)
        return std::nullopt;
    for (const auto half : {RunLoopStreamPair::kReadHalf, RunLoopStreamPair::kWriteHalf})
        if (const StreamError error = streams_->error(half); error.error != 0)
            return errorFromCFStreamError(error);
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// Closing

void AsyncSocket::closeWithError(const std::optional<Error>& error)
{
    flags_ |= kReportingClose;
    if (flags_ & kStarted) {
        recoverUnreadData();
        if (auto delegate = delegate_.lock(); delegate && !destroying_)
            delegate->onSocketWillDisconnectWithError(*this, error);
    }
    close();
}

void AsyncSocket::recoverUnreadData()
{
    if (currentRead_) {
        if (auto* packet = std::get_if<std::shared_ptr<AsyncReadPacket>>(&*currentRead_);
            packet && (*packet)->bytesDone > 0) {
            const uint8_t* bytes = (*packet)->readBytes();
            partialReadBuffer_.insert(partialReadBuffer_.begin(), bytes, bytes + (*packet)->bytesDone);
        }
    }
    emptyQueues();
}

void AsyncSocket::emptyQueues()
{
    if (currentRead_)
        endCurrentRead();
    if (currentWrite_)
        endCurrentWrite();
    readQueue_.clear();
    writeQueue_.clear();
    loop().cancelPerforms(this, "maybeDequeueRead");
    loop().cancelPerforms(this, "maybeDequeueWrite");
    flags_ &= ~(kReadDequeuePosted | kWriteDequeuePosted);
}

void AsyncSocket::close()
{
    emptyQueues();
    partialReadBuffer_.clear();
    loop().cancelPerforms(this, "disconnect");
    if (connectTimer_)
        endConnectTimeout();
    if (streams_) {
        if (runLoop_)
            streams_->unschedule(*runLoop_, runLoopModes_);
        streams_->close(RunLoopStreamPair::kReadHalf);
        streams_->close(RunLoopStreamPair::kWriteHalf);
        streams_.reset();
    }
    for (auto* socket : {&socket4_, &socket6_}) {
        if (*socket) {
            (*socket)->invalidate();
            socket->reset();
        }
    }
    nativeSocket4_ = -1;
    nativeSocket6_ = -1;
    runLoop_.reset();
    const bool wasStarted = flags_ & kStarted;
    flags_ &= kPreBufferingOn;
    if (wasStarted)
        if (auto delegate = delegate_.lock())
            delegate->onSocketDidDisconnect(destroying_ ? nullptr : this);
}

void AsyncSocket::disconnectAfterReading()
{
    flags_ |= kRequestsRefused | kCloseAfterReads;
    maybeScheduleDisconnect();
}

void AsyncSocket::disconnectAfterWriting()
{
    flags_ |= kRequestsRefused | kCloseAfterWrites;
    maybeScheduleDisconnect();
}

void AsyncSocket::disconnectAfterReadingAndWriting()
{
    flags_ |= kRequestsRefused | kCloseAfterReads | kCloseAfterWrites;
    maybeScheduleDisconnect();
}

void AsyncSocket::maybeScheduleDisconnect()
{
    bool shouldDisconnect = false;
    if (flags_ & kCloseAfterReads) {
        if (!readQueue_.empty() || currentRead_)
            return;
        if (flags_ & kCloseAfterWrites) {
            shouldDisconnect = writeQueue_.empty() && !currentWrite_;
        } else {
            shouldDisconnect = true;
        }
    } else if (flags_ & kCloseAfterWrites) {
        shouldDisconnect = writeQueue_.empty() && !currentWrite_;
    }
    if (shouldDisconnect) {
        std::weak_ptr<AsyncSocket> weakSelf = weak_from_this();
        RunLoop::current().perform(this, "disconnect", std::chrono::nanoseconds(0), [weakSelf] {
            if (auto self = weakSelf.lock())
                self->disconnect();
        }, runLoopModes_);
    }
}

std::optional<Bytes> AsyncSocket::unreadData()
{
    if (!(flags_ & kReportingClose) || !streams_)
        return std::nullopt;
    // Everything the stream still holds, after what was already read.
    size_t filled = partialReadBuffer_.size();
    for (;;) {
        partialReadBuffer_.resize(filled + 256);
        const long n = streams_->read(partialReadBuffer_.data() + filled, 256);
        if (n <= 0)
            break;
        filled += static_cast<size_t>(n);
        if (!streams_->hasBytesAvailable())
            break;
    }
    partialReadBuffer_.resize(filled);
    // A copy: the socket empties its own buffer as it closes.
    return partialReadBuffer_;
}

// ---------------------------------------------------------------------------
// State and addresses

bool AsyncSocket::isDisconnected() const
{
    return nativeSocket4_ == -1 && nativeSocket6_ == -1 && !socket4_ && !socket6_ && !streams_;
}

bool AsyncSocket::areStreamsConnected() const
{
    // A stream that has failed carries no connection any more.
    auto connected = [this](RunLoopStreamPair::Half half) {
        const auto status = streams_->status(half);
        return status == RunLoopStreamPair::kStatusOpen || status == RunLoopStreamPair::kStatusReading ||
               status == RunLoopStreamPair::kStatusWriting;
    };
    return streams_ && connected(RunLoopStreamPair::kReadHalf) && connected(RunLoopStreamPair::kWriteHalf);
}

std::optional<Bytes> AsyncSocket::addressOf(bool peer, int family) const
{
    const auto& socket = family == AF_INET ? socket4_ : socket6_;
    const int native = family == AF_INET ? nativeSocket4_ : nativeSocket6_;
    const int fd = socket ? socket->nativeHandle() : native;
    if (fd == -1)
        return std::nullopt;
    return socketaddress::ofSocket(fd, peer, family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6));
}

namespace {

std::optional<std::string> hostOf(const std::optional<Bytes>& address)
{
    std::string host;
    if (!address || !socketaddress::read(*address, &host, nullptr, nullptr))
        return std::nullopt;
    if (host.empty())
        throw Exception("NSInternalInconsistencyException", "Cannot convert address to string.");
    return host;
}

uint16_t portOf(const std::optional<Bytes>& address)
{
    uint16_t port = 0;
    if (address)
        socketaddress::read(*address, nullptr, &port, nullptr);
    return port;
}

}  // namespace

std::optional<Bytes> AsyncSocket::connectedAddress() const
{
    if (socket4_ || (!socket6_ && nativeSocket4_ != -1))
        return addressOf(true, AF_INET);
    return addressOf(true, AF_INET6);
}

std::optional<Bytes> AsyncSocket::localAddress() const
{
    if (socket4_ || (!socket6_ && nativeSocket4_ != -1))
        return addressOf(false, AF_INET);
    return addressOf(false, AF_INET6);
}

std::optional<std::string> AsyncSocket::connectedHost() const { return hostOf(connectedAddress()); }
uint16_t AsyncSocket::connectedPort() const { return portOf(connectedAddress()); }
std::optional<std::string> AsyncSocket::localHost() const { return hostOf(localAddress()); }
uint16_t AsyncSocket::localPort() const { return portOf(localAddress()); }
std::optional<std::string> AsyncSocket::connectedHost4() const { return hostOf(addressOf(true, AF_INET)); }
std::optional<std::string> AsyncSocket::connectedHost6() const { return hostOf(addressOf(true, AF_INET6)); }
uint16_t AsyncSocket::connectedPort4() const { return portOf(addressOf(true, AF_INET)); }
uint16_t AsyncSocket::connectedPort6() const { return portOf(addressOf(true, AF_INET6)); }
std::optional<std::string> AsyncSocket::localHost4() const { return hostOf(addressOf(false, AF_INET)); }
std::optional<std::string> AsyncSocket::localHost6() const { return hostOf(addressOf(false, AF_INET6)); }
uint16_t AsyncSocket::localPort4() const { return portOf(addressOf(false, AF_INET)); }
uint16_t AsyncSocket::localPort6() const { return portOf(addressOf(false, AF_INET6)); }

std::string AsyncSocket::description() const
{
    auto text = [](const std::optional<std::string>& host) { return host ? *host : std::string("(null)"); };
    std::string remote = "nowhere";
    std::string local = "nowhere";
    if (isIPv4() && isIPv6()) {
        remote = text(connectedHost4()) + "/" + text(connectedHost6()) + " " + std::to_string(connectedPort());
        local = text(localHost4()) + "/" + text(localHost6()) + " " + std::to_string(localPort());
    } else if (isIPv4()) {
        remote = text(connectedHost4()) + " " + std::to_string(connectedPort4());
        local = text(localHost4()) + " " + std::to_string(localPort4());
    } else if (isIPv6()) {
        remote = text(connectedHost6()) + " " + std::to_string(connectedPort6());
        local = text(localHost6()) + " " + std::to_string(localPort6());
    }
    std::string ms;
    ms.reserve(150);
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "<AsyncSocket %p", static_cast<const void*>(this));
    ms += buffer;
    ms += " local " + local + " remote " + remote + " ";
    ms += "has queued " + std::to_string(readQueue_.size()) + " reads " + std::to_string(writeQueue_.size()) +
          " writes, ";

    const auto* read = currentRead_ ? std::get_if<std::shared_ptr<AsyncReadPacket>>(&*currentRead_) : nullptr;
    if (!read) {
        ms += "no current read, ";
    } else {
        const AsyncReadPacket& packet = **read;
        int percent = 0;
        if (packet.bytesDone > 0)
            percent = packet.readLength == 0
                          ? 100
                          : static_cast<int>(static_cast<float>(packet.bytesDone) / packet.readLength * 100.0f);
        std::snprintf(buffer, sizeof buffer, "currently read %zu bytes (%d%% done), ", packet.buffer->size(), percent);
        ms += buffer;
    }
    const auto* write = currentWrite_ ? std::get_if<std::shared_ptr<AsyncWritePacket>>(&*currentWrite_) : nullptr;
    if (!write) {
        ms += "no current write, ";
    } else {
        const AsyncWritePacket& packet = **write;
        const int percent =
            packet.bytesDone > 0 ? static_cast<int>(packet.bytesDone * 100 / packet.buffer->size()) : 0;
        std::snprintf(buffer, sizeof buffer, "currently written %zu (%d%%), ", packet.buffer->size(), percent);
        ms += buffer;
    }
    static const char* const kStatusNames[] = {"not open", "opening", "open",   "reading",
                                               "writing",  "at end",  "closed", "has error"};
    const int readStatus = streams_ ? streams_->status(RunLoopStreamPair::kReadHalf) : 0;
    const int writeStatus = streams_ ? streams_->status(RunLoopStreamPair::kWriteHalf) : 0;
    std::snprintf(buffer, sizeof buffer, "read stream %p %s, ", static_cast<const void*>(streams_.get()),
                  kStatusNames[readStatus]);
    ms += buffer;
    std::snprintf(buffer, sizeof buffer, "write stream %p %s", static_cast<const void*>(streams_.get()),
                  kStatusNames[writeStatus]);
    ms += buffer;
    if ((flags_ & kCloseAfterReads) && (flags_ & kCloseAfterWrites))
        ms += ", will disconnect after reads & writes";
    else if (flags_ & kCloseAfterReads)
        ms += ", will disconnect after reads";
    else if (flags_ & kCloseAfterWrites)
        ms += ", will disconnect after writes";
    if (!isConnected())
        ms += ", not connected";
    ms += ">";
    return ms;
}

}  // namespace orv
