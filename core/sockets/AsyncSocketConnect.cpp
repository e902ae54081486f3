// AsyncSocket: listening and accepting, connecting by host (through the
// streams) or by address (through a connecting socket), the stream pair's
// attachment and opening, and the stream events.
#include "core/sockets/AsyncSocket.h"

#include "core/sockets/SocketAddress.h"
#include "platform/RunLoopTimer.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orv {

namespace {

constexpr int kListenBacklog = 256;
// Connections taken per readiness report of a listener, so that a flood
// cannot hold the loop.
constexpr int kAcceptsPerEvent = 64;

// The platform log of these classes: standard error.
void warn(const char* format, ...) __attribute__((format(printf, 1, 2)));
void warn(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

void setError(Error* errPtr, Error error)
{
    if (errPtr)
        *errPtr = std::move(error);
}

Error describedSocketError(const std::string& description)
{
    Error error = AsyncSocket::getSocketError();
    error.message = description;
    return error;
}

}  // namespace

void AsyncSocket::checkIdle(const char* action) const
{
    if (!delegate_.lock())
        throw Exception(AsyncSocketException,
                        std::string("Attempting to ") + action + " without a delegate. Set a delegate first.");
    if (!isDisconnected())
        throw Exception(AsyncSocketException, std::string("Attempting to ") + action +
                                                  " while connected or accepting connections. Disconnect first.");
}

std::shared_ptr<RunLoopSocket> AsyncSocket::newSocket(int family, bool listening)
{
    std::weak_ptr<AsyncSocket> weakSelf = weak_from_this();
    auto socket = RunLoopSocket::create(
        family, SOCK_STREAM, IPPROTO_TCP, listening ? RunLoopSocket::kReadCallBack : RunLoopSocket::kWriteCallBack,
        [weakSelf](RunLoopSocket& s, RunLoopSocket::CallBackType type) {
            if (auto self = weakSelf.lock())
                self->socketCallback(s, type);
        });
    // A connecting socket reports once: its connect has finished.
    if (socket && !listening)
        socket->setSocketFlags(RunLoopSocket::kAutomaticallyReenableReadCallBack | RunLoopSocket::kCloseOnInvalidate);
    return socket;
}

void AsyncSocket::socketCallback(RunLoopSocket& socket, RunLoopSocket::CallBackType type)
{
    if (type == RunLoopSocket::kReadCallBack)
        doAcceptFromSocket(socket);
    else
        doSocketOpen(socket);
}

void AsyncSocket::attachSocketsToRunLoop()
{
    runLoop_ = RunLoop::current().shared_from_this();
    for (auto* socket : {&socket4_, &socket6_})
        if (*socket)
            (*socket)->schedule(*runLoop_, runLoopModes_);
}

// ---------------------------------------------------------------------------
// Listening

bool AsyncSocket::acceptOnPort(uint16_t port, Error* errPtr)
{
    return acceptOnInterface(std::string(), port, errPtr);
}

bool AsyncSocket::listenOn(std::shared_ptr<RunLoopSocket>& socket, const Bytes& address)
{
    return socket->setAddress(address) && ::listen(socket->nativeHandle(), kListenBacklog) == 0;
}

bool AsyncSocket::acceptOnInterface(const std::string& interface, uint16_t port, Error* errPtr)
{
    checkIdle("accept");
    emptyQueues();

    std::optional<Bytes> address4, address6;
    if (interface.empty()) {
        address4 = socketaddress::any4(port);
        address6 = socketaddress::any6(port);
    } else {
        std::vector<Bytes> addresses;
        if (const int code = socketaddress::lookup(interface, port, SOCK_STREAM, IPPROTO_TCP, AI_PASSIVE, &addresses);
            code != 0) {
            setError(errPtr, *errorFromCFStreamError({kStreamErrorDomainNetDB, code}));
            return false;
        }
        for (const Bytes& address : addresses) {
            if (!address4 && socketaddress::isWhole4(address))
                address4 = address;
            else if (!address6 && socketaddress::isWhole6(address))
                address6 = address;
        }
        if (!address4 && !address6) {
            setError(errPtr, describedSocketError("Interface has no IPv4 or IPv6 address"));
            return false;
        }
    }

    auto fail = [&] {
        setError(errPtr, getSocketError());
        for (auto* socket : {&socket4_, &socket6_}) {
            if (*socket) {
                (*socket)->invalidate();
                socket->reset();
            }
        }
        runLoop_.reset();
        return false;
    };
    if (address4 && !(socket4_ = newSocket(AF_INET, true)))
        return fail();
    if (address6 && !(socket6_ = newSocket(AF_INET6, true)))
        return fail();
    attachSocketsToRunLoop();
    const int on = 1;
    for (auto* socket : {&socket4_, &socket6_})
        if (*socket)
            ::setsockopt((*socket)->nativeHandle(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (socket4_ && !listenOn(socket4_, *address4))
        return fail();
    // One port for both families when the system chooses it.
    if (port == 0 && socket4_ && socket6_)
        address6 = socketaddress::withPort(*address6, localPort4());
    if (socket6_ && !listenOn(socket6_, *address6))
        return fail();
    flags_ |= kStarted;
    return true;
}

void AsyncSocket::doAcceptFromSocket(RunLoopSocket& socket)
{
    const bool is4 = &socket == socket4_.get();
    for (int i = 0; i < kAcceptsPerEvent && socket.isValid(); ++i) {
        const int fd = ::accept4(socket.nativeHandle(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd == -1) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED)
                warn("AsyncSocket %p could not accept: %s", static_cast<void*>(this), std::strerror(errno));
            return;
        }
        auto delegate = delegate_.lock();
        auto newSocket = create(delegate_);
        newSocket->setRunLoopModes(runLoopModes_);
        Error error;
        if (!newSocket->createStreamsFromNative(fd, &error)) {
            ::close(fd);
            continue;
        }
        (is4 ? newSocket->nativeSocket4_ : newSocket->nativeSocket6_) = fd;
        if (delegate)
            delegate->onSocketDidAcceptNewSocket(*this, newSocket);
        newSocket->flags_ |= kStarted;
        RunLoop* loop = delegate ? delegate->onSocketWantsRunLoopForNewSocket(*this, *newSocket) : nullptr;
        if (!newSocket->attachStreamsToRunLoop(loop, &error) || !newSocket->configureStreams(&error) ||
            !newSocket->openStreams(&error))
            newSocket->close();
        // Whether it lives on is the delegate's choice.
    }
}

// ---------------------------------------------------------------------------
// Connecting

bool AsyncSocket::connectToHost(const std::string& hostname, uint16_t port, Error* errPtr)
{
    return connectToHost(hostname, port, -1.0, errPtr);
}

bool AsyncSocket::connectToHost(const std::string& hostname, uint16_t port, double timeout, Error* errPtr)
{
    checkIdle("connect");
    emptyQueues();
    streams_ = RunLoopStreamPair::createToHost(hostname, port);
    if (!streams_) {
        setError(errPtr, describedSocketError("Host name is empty"));
        return false;
    }
    streams_->setShouldCloseNativeSocket(true);
    Error error;
    if (!attachStreamsToRunLoop(nullptr, &error) || !configureStreams(&error) || !openStreams(&error)) {
        close();
        setError(errPtr, error);
        return false;
    }
    startConnectTimeout(timeout);
    flags_ |= kStarted;
    return true;
}

bool AsyncSocket::connectToAddress(const Bytes& remoteAddr, Error* errPtr)
{
    return connectToAddress(remoteAddr, std::nullopt, -1.0, errPtr);
}

bool AsyncSocket::connectToAddress(const Bytes& remoteAddr, double timeout, Error* errPtr)
{
    return connectToAddress(remoteAddr, std::nullopt, timeout, errPtr);
}

bool AsyncSocket::connectToAddress(const Bytes& remoteAddr, const std::optional<Bytes>& interfaceAddr, double timeout,
                                   Error* errPtr)
{
    checkIdle("connect");
    emptyQueues();
    auto fail = [&](Error error) {
        close();
        setError(errPtr, std::move(error));
        return false;
    };

    const int family = socketaddress::familyOf(remoteAddr);
    if (!(family == AF_INET && socketaddress::isWhole4(remoteAddr)) &&
        !(family == AF_INET6 && socketaddress::isWhole6(remoteAddr)))
        return fail(describedSocketError("Remote address is not IPv4 or IPv6"));
    auto& socket = family == AF_INET ? socket4_ : socket6_;
    if (!(socket = newSocket(family, false)))
        return fail(getSocketError());

    if (interfaceAddr) {
        if (socketaddress::familyOf(*interfaceAddr) != family)
            return fail(describedSocketError("Interface address is not IPv4 or IPv6"));
        if (!socket->setAddress(*interfaceAddr))
            return fail(getErrnoError(errno));
    }
    attachSocketsToRunLoop();
    Error error;
    if (!configureStreams(&error))
        return fail(error);
    if (!socket->connectToAddress(remoteAddr) && errno != EINPROGRESS)
        return fail(getSocketError());
    startConnectTimeout(timeout);
    flags_ |= kStarted;
    return true;
}

void AsyncSocket::doSocketOpen(RunLoopSocket& socket)
{
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket.nativeHandle(), SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error != 0) {
        Error failure = getSocketError();
        failure.info["errno"] = std::to_string(error);
        closeWithError(failure);
        return;
    }
    const bool is4 = &socket == socket4_.get();
    const int fd = socket.nativeHandle();
    (is4 ? nativeSocket4_ : nativeSocket6_) = fd;
    // The descriptor lives on in the streams.
    socket.setSocketFlags(0);
    socket.invalidate();
    socket4_.reset();
    socket6_.reset();
    Error failure;
    if (!createStreamsFromNative(fd, &failure)) {
        ::close(fd);
        (is4 ? nativeSocket4_ : nativeSocket6_) = -1;
        closeWithError(failure);
        return;
    }
    if (!attachStreamsToRunLoop(nullptr, &failure) || !openStreams(&failure))
        closeWithError(failure);
}

void AsyncSocket::startConnectTimeout(double timeout)
{
    if (timeout >= 0.0)
        connectTimer_ = makeTimer(timeout, &AsyncSocket::doConnectTimeout);
}

void AsyncSocket::endConnectTimeout()
{
    if (connectTimer_) {
        connectTimer_->invalidate();
        connectTimer_.reset();
    }
}

void AsyncSocket::doConnectTimeout()
{
    endConnectTimeout();
    closeWithError(getConnectTimeoutError());
}

// ---------------------------------------------------------------------------
// Streams

bool AsyncSocket::configureStreams(Error* errPtr)
{
    auto delegate = delegate_.lock();
    if (delegate && !delegate->onSocketWillConnect(*this)) {
        setError(errPtr, getAbortError());
        return false;
    }
    return true;
}

bool AsyncSocket::createStreamsFromNative(int fd, Error* errPtr)
{
    streams_ = RunLoopStreamPair::createWithSocket(fd);
    if (!streams_) {
        Error error = getErrnoError(errno);
        warn("AsyncSocket %p couldn't create streams from accepted socket: %s", static_cast<void*>(this),
                     error.description().c_str());
        setError(errPtr, error);
        return false;
    }
    streams_->setShouldCloseNativeSocket(true);
    return true;
}

bool AsyncSocket::attachStreamsToRunLoop(RunLoop* runLoop, Error*)
{
    runLoop_ = (runLoop ? *runLoop : RunLoop::current()).shared_from_this();
    std::weak_ptr<AsyncSocket> weakSelf = weak_from_this();
    auto client = [weakSelf](RunLoopStreamPair&, RunLoopStreamPair::Half half, RunLoopStreamPair::Event event) {
        if (auto self = weakSelf.lock())
            self->doStreamEvent(half, event);
    };
    using S = RunLoopStreamPair;
    streams_->setClient(S::kReadHalf,
                        S::kEventOpenCompleted | S::kEventHasBytesAvailable | S::kEventErrorOccurred |
                            S::kEventEndEncountered,
                        client);
    streams_->setClient(S::kWriteHalf,
                        S::kEventOpenCompleted | S::kEventCanAcceptBytes | S::kEventErrorOccurred |
                            S::kEventEndEncountered,
                        client);
    streams_->schedule(*runLoop_, runLoopModes_);
    return true;
}

bool AsyncSocket::openStreams(Error* errPtr)
{
    for (const auto half : {RunLoopStreamPair::kReadHalf, RunLoopStreamPair::kWriteHalf}) {
        if (!streams_->open(half)) {
            warn(half == RunLoopStreamPair::kReadHalf ? "AsyncSocket %p couldn't open read stream,"
                                                              : "AsyncSocket %p couldn't open write stream,",
                         static_cast<void*>(this));
            setError(errPtr, getStreamError().value_or(getSocketError()));
            return false;
        }
    }
    return true;
}

void AsyncSocket::doStreamEvent(RunLoopStreamPair::Half half, RunLoopStreamPair::Event event)
{
    const bool isRead = half == RunLoopStreamPair::kReadHalf;
    switch (event) {
    case RunLoopStreamPair::kEventOpenCompleted:
        flags_ |= isRead ? kReadOpenDone : kWriteOpenDone;
        doStreamOpen();
        break;
    case RunLoopStreamPair::kEventHasBytesAvailable:
        if (flags_ & kReadTLSReached) {
            onTLSHandshakeSuccessful();
        } else {
            flags_ |= kReadDataSignalled;
            doBytesAvailable();
        }
        break;
    case RunLoopStreamPair::kEventCanAcceptBytes:
        if (flags_ & kWriteTLSReached) {
            onTLSHandshakeSuccessful();
        } else {
            flags_ |= kWriteSpaceSignalled;
            doSendBytes();
        }
        break;
    case RunLoopStreamPair::kEventErrorOccurred:
    case RunLoopStreamPair::kEventEndEncountered:
        closeWithError(errorFromCFStreamError(streams_ ? streams_->error(half) : StreamError{}));
        break;
    }
}

void AsyncSocket::doStreamOpen()
{
    if (!(flags_ & kReadOpenDone) || !(flags_ & kWriteOpenDone))
        return;
    const int fd = streams_->nativeHandle();
    if (nativeSocket4_ == -1 && nativeSocket6_ == -1) {
        const std::optional<Bytes> peer = socketaddress::ofSocket(fd, true);
        if (!peer) {
            warn("AsyncSocket couldn't determine IP version of socket");
            warn("AsyncSocket %p couldn't get socket from streams. Disconnecting.", static_cast<void*>(this));
            closeWithError(getSocketError());
            return;
        }
        (socketaddress::familyOf(*peer) == AF_INET ? nativeSocket4_ : nativeSocket6_) = fd;
    }
    endConnectTimeout();
    if (auto delegate = delegate_.lock())
        delegate->onSocketDidConnectToHost(*this, connectedHost().value_or(std::string()), connectedPort());
    maybeDequeueRead();
    maybeDequeueWrite();
}

}  // namespace orv
