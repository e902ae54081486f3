// AsyncUdpSocket: the object, its run loop, binding, connecting, options,
// closing, the state queries and the errors. Sending and receiving live in
// AsyncUdpSocketTransfer.cpp.
#include "core/sockets/AsyncUdpSocket.h"

#include "core/sockets/GCDAsyncSocket.h"
#include "core/sockets/SocketAddress.h"
#include "platform/RunLoopTimer.h"

#include <cerrno>
#include <cstring>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orv {

namespace {

constexpr const char* kPOSIXStreamDomain = "kCFStreamErrorDomainPOSIX";

Error udpError(long code, std::string message)
{
    Error error;
    error.domain = AsyncUdpSocketErrorDomain;
    error.code = code;
    error.message = std::move(message);
    return error;
}

Error posixStreamError(int errorNumber, std::string message)
{
    Error error;
    error.domain = kPOSIXStreamDomain;
    error.code = errorNumber;
    error.message = std::move(message);
    return error;
}

void setError(Error* errPtr, Error error)
{
    if (errPtr)
        *errPtr = std::move(error);
}

int convertHost(const std::string& host, uint16_t port, int flags, std::optional<Bytes>* address4,
                std::optional<Bytes>* address6)
{
    std::vector<Bytes> addresses;
    if (const int code = socketaddress::lookup(host, port, SOCK_DGRAM, IPPROTO_UDP, flags, &addresses); code != 0)
        return code;
    for (const Bytes& address : addresses) {
        if (address4 && !*address4 && socketaddress::isWhole4(address))
            *address4 = address;
        else if (address6 && !*address6 && socketaddress::isWhole6(address))
            *address6 = address;
    }
    return 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction

std::shared_ptr<AsyncUdpSocket> AsyncUdpSocket::create(std::weak_ptr<AsyncUdpSocketDelegate> delegate, long userData,
                                                       bool enableIPv4, bool enableIPv6)
{
    auto sock = std::make_shared<AsyncUdpSocket>(PrivateTag{}, std::move(delegate), userData);
    // A socket the system refuses stays out; the object works without it.
    if (enableIPv4)
        sock->socket4_ = sock->makeSocket(AF_INET);
    if (enableIPv6)
        sock->socket6_ = sock->makeSocket(AF_INET6);
    sock->runLoop_ = RunLoop::current().shared_from_this();
    sock->addToRunLoop();
    return sock;
}

std::shared_ptr<AsyncUdpSocket> AsyncUdpSocket::createIPv4(std::weak_ptr<AsyncUdpSocketDelegate> delegate)
{
    return create(std::move(delegate), 0, true, false);
}

std::shared_ptr<AsyncUdpSocket> AsyncUdpSocket::createIPv6(std::weak_ptr<AsyncUdpSocketDelegate> delegate)
{
    return create(std::move(delegate), 0, false, true);
}

AsyncUdpSocket::AsyncUdpSocket(PrivateTag, std::weak_ptr<AsyncUdpSocketDelegate> delegate, long userData)
    : delegate_(std::move(delegate)), userData_(userData)
{
}

AsyncUdpSocket::~AsyncUdpSocket()
{
    emptyQueues();
    closeSocket(socket4_);
    closeSocket(socket6_);
    // Neither a close message nor a scheduled step outlives the object.
    if (runLoop_)
        runLoop_->cancelPerforms(this);
}

std::shared_ptr<RunLoopSocket> AsyncUdpSocket::makeSocket(int domain)
{
    std::weak_ptr<AsyncUdpSocket> weakSelf = weak_from_this();
    auto socket = RunLoopSocket::create(domain, SOCK_DGRAM, IPPROTO_UDP,
                                        RunLoopSocket::kReadCallBack | RunLoopSocket::kWriteCallBack,
                                        [weakSelf](RunLoopSocket& s, RunLoopSocket::CallBackType type) {
                                            if (auto self = weakSelf.lock())
                                                self->socketCallback(s, type);
                                        });
    if (socket)
        socket->setSocketFlags(RunLoopSocket::kCloseOnInvalidate);
    return socket;
}

void AsyncUdpSocket::raise(const std::string& reason)
{
    throw Exception(AsyncUdpSocketException, reason);
}

void AsyncUdpSocket::checkOpen(const char*) const
{
    if (flags_ & kFlagClosed)
        raise("The socket is closed.");
}

// ---------------------------------------------------------------------------
// Run loop

void AsyncUdpSocket::addToRunLoop()
{
    if (!runLoop_)
        return;
    if (sendTimer_)
        for (const auto& mode : runLoopModes_)
            runLoop_->addTimer(sendTimer_, mode);
    if (receiveTimer_)
        for (const auto& mode : runLoopModes_)
            runLoop_->addTimer(receiveTimer_, mode);
    for (auto* socket : {&socket4_, &socket6_})
        if (*socket)
            (*socket)->schedule(*runLoop_, runLoopModes_);
}

void AsyncUdpSocket::removeFromRunLoop()
{
    if (!runLoop_)
        return;
    for (auto* socket : {&socket4_, &socket6_})
        if (*socket)
            (*socket)->unschedule(*runLoop_, runLoopModes_);
    for (auto* timer : {&sendTimer_, &receiveTimer_})
        if (*timer)
            for (const auto& mode : runLoopModes_)
                runLoop_->removeTimer(*timer, mode);
}

void AsyncUdpSocket::schedule(const char* action, void (AsyncUdpSocket::*step)())
{
    if (!runLoop_)
        return;
    std::weak_ptr<AsyncUdpSocket> weakSelf = weak_from_this();
    runLoop_->perform(this, action, std::chrono::nanoseconds(0), [weakSelf, step] {
        if (auto self = weakSelf.lock())
            ((*self).*step)();
    }, runLoopModes_);
}

bool AsyncUdpSocket::moveToRunLoop(RunLoop& runLoop)
{
    if (runLoop_.get() == &runLoop)
        return true;
    if (runLoop_)
        runLoop_->cancelPerforms(this);
    flags_ &= ~(kFlagDequeueSendScheduled | kFlagDequeueReceiveScheduled);
    removeFromRunLoop();
    runLoop_ = runLoop.shared_from_this();
    addToRunLoop();
    schedule("maybeDequeueSend", &AsyncUdpSocket::maybeDequeueSend);
    schedule("maybeDequeueReceive", &AsyncUdpSocket::maybeDequeueReceive);
    schedule("maybeScheduleClose", &AsyncUdpSocket::maybeScheduleClose);
    return true;
}

bool AsyncUdpSocket::setRunLoopModes(const std::vector<RunLoopMode>& modes)
{
    if (modes.empty())
        return false;
    if (modes == runLoopModes_)
        return true;
    if (runLoop_)
        runLoop_->cancelPerforms(this);
    flags_ &= ~(kFlagDequeueSendScheduled | kFlagDequeueReceiveScheduled);
    removeFromRunLoop();
    runLoopModes_ = modes;
    addToRunLoop();
    schedule("maybeDequeueSend", &AsyncUdpSocket::maybeDequeueSend);
    schedule("maybeDequeueReceive", &AsyncUdpSocket::maybeDequeueReceive);
    schedule("maybeScheduleClose", &AsyncUdpSocket::maybeScheduleClose);
    return true;
}

// ---------------------------------------------------------------------------
// Addresses

int AsyncUdpSocket::convertForBindHost(const std::string& host, uint16_t port, std::optional<Bytes>* address4,
                                       std::optional<Bytes>* address6)
{
    if (host.empty()) {
        if (address4)
            *address4 = socketaddress::any4(port);
        if (address6)
            *address6 = socketaddress::any6(port);
        return 0;
    }
    return convertHost(host, port, AI_PASSIVE, address4, address6);
}

int AsyncUdpSocket::convertForSendHost(const std::string& host, uint16_t port, std::optional<Bytes>* address4,
                                       std::optional<Bytes>* address6)
{
    if (host.empty())
        return EAI_NONAME;
    return convertHost(host, port, 0, address4, address6);
}

std::string AsyncUdpSocket::addressHost(const Bytes& address)
{
    std::string host;
    socketaddress::read(address, &host, nullptr, nullptr);
    return host;
}

// ---------------------------------------------------------------------------
// Binding, connecting, options

bool AsyncUdpSocket::bindToPort(uint16_t port, Error* errPtr)
{
    return bindToAddress(std::string(), port, errPtr);
}

bool AsyncUdpSocket::bindToAddress(const std::string& localAddr, uint16_t port, Error* errPtr)
{
    checkOpen("bind");
    if (flags_ & kFlagBound)
        raise("Cannot bind a socket more than once.");
    if (flags_ & kFlagConnected)
        raise("Cannot bind after connecting. If needed, bind first, then connect.");

    std::optional<Bytes> address4, address6;
    if (const int code = convertForBindHost(localAddr, port, &address4, &address6); code != 0) {
        setError(errPtr, GCDAsyncSocket::gaiError(code));
        return false;
    }
    const int on = 1;
    for (auto* socket : {&socket4_, &socket6_})
        if (*socket)
            ::setsockopt((*socket)->nativeHandle(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);

    if (address4 && socket4_) {
        if (!socket4_->setAddress(*address4)) {
            setError(errPtr, getSocketError());
            return false;
        }
        if (!address6)
            closeSocket(socket6_);
    } else if (address4 && !address6) {
        setError(errPtr, getIPv4UnavailableError());
        return false;
    }
    if (address6 && socket6_) {
        if (!socket6_->setAddress(*address6)) {
            setError(errPtr, getSocketError());
            return false;
        }
        if (!address4)
            closeSocket(socket4_);
    } else if (address6 && !address4) {
        setError(errPtr, getIPv6UnavailableError());
        return false;
    }
    flags_ |= kFlagBound;
    return true;
}

bool AsyncUdpSocket::connectToHost(const std::string& host, uint16_t port, Error* errPtr)
{
    checkOpen("connect");
    if (flags_ & kFlagConnected)
        raise("Cannot connect a socket more than once.");
    std::optional<Bytes> address4, address6;
    if (const int code = convertForSendHost(host, port, &address4, &address6); code != 0) {
        setError(errPtr, GCDAsyncSocket::gaiError(code));
        return false;
    }
    if (address4 && socket4_)
        return connectToAddress(*address4, errPtr);
    if (address6 && socket6_)
        return connectToAddress(*address6, errPtr);
    setError(errPtr, address4 ? getIPv4UnavailableError() : getIPv6UnavailableError());
    return false;
}

bool AsyncUdpSocket::connectToAddress(const Bytes& remoteAddr, Error* errPtr)
{
    checkOpen("connect");
    if (flags_ & kFlagConnected)
        raise("Cannot connect a socket more than once.");
    const bool is4 = remoteAddr.size() == sizeof(sockaddr_in);
    const bool is6 = remoteAddr.size() == sizeof(sockaddr_in6);
    if (!is4 && !is6) {
        setError(errPtr, udpError(AsyncUdpSocketBadParameter, "remoteAddr parameter is not a valid address"));
        return false;
    }
    auto& socket = is4 ? socket4_ : socket6_;
    if (!socket) {
        setError(errPtr, is4 ? getIPv4UnavailableError() : getIPv6UnavailableError());
        return false;
    }
    if (!socket->connectToAddress(remoteAddr)) {
        setError(errPtr, getSocketError());
        return false;
    }
    flags_ |= kFlagConnected;
    closeSocket(is4 ? socket6_ : socket4_);
    return true;
}

bool AsyncUdpSocket::joinMulticastGroup(const std::string& group, Error* errPtr)
{
    return joinMulticastGroup(group, std::string(), errPtr);
}

bool AsyncUdpSocket::joinMulticastGroup(const std::string& group, const std::string& interfaceAddress, Error* errPtr)
{
    checkOpen("join");
    if (!(flags_ & kFlagBound))
        raise("Must bind a socket before joining a multicast group.");
    if (flags_ & kFlagConnected)
        raise("Cannot join a multicast group if connected.");

    std::optional<Bytes> interface4, interface6, group4, group6;
    if (const int code = convertForBindHost(interfaceAddress, 0, &interface4, &interface6); code != 0) {
        Error error = GCDAsyncSocket::gaiError(code);
        error.message = "Invalid parameter 'address': " + error.message;
        setError(errPtr, error);
        return false;
    }
    if (const int code = convertForBindHost(group, 0, &group4, &group6); code != 0) {
        Error error = GCDAsyncSocket::gaiError(code);
        error.message = "Invalid parameter 'group': " + error.message;
        setError(errPtr, error);
        return false;
    }
    if (socket4_ && group4 && interface4) {
        sockaddr_in g{}, i{};
        std::memcpy(&g, group4->data(), sizeof g);
        std::memcpy(&i, interface4->data(), sizeof i);
        ip_mreq request{g.sin_addr, i.sin_addr};
        if (::setsockopt(socket4_->nativeHandle(), IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) != 0) {
            setError(errPtr, posixStreamError(errno, "Unable to join IPv4 multicast group"));
            return false;
        }
        closeSocket(socket6_);
        return true;
    }
    if (socket6_ && group6 && interface6) {
        sockaddr_in6 g{};
        std::memcpy(&g, group6->data(), sizeof g);
        ipv6_mreq request{};
        request.ipv6mr_multiaddr = g.sin6_addr;
        request.ipv6mr_interface = 0;
        if (::setsockopt(socket6_->nativeHandle(), IPPROTO_IPV6, IPV6_ADD_MEMBERSHIP, &request, sizeof request) != 0) {
            setError(errPtr, posixStreamError(errno, "Unable to join IPv6 multicast group"));
            return false;
        }
        closeSocket(socket4_);
        return true;
    }
    setError(errPtr, udpError(AsyncUdpSocketBadParameter, "Invalid group and/or address, not matching existing socket(s)"));
    return false;
}

bool AsyncUdpSocket::enableBroadcast(bool flag, Error* errPtr)
{
    if (!socket4_)
        return true;
    const int value = flag ? 1 : 0;
    if (::setsockopt(socket4_->nativeHandle(), SOL_SOCKET, SO_BROADCAST, &value, sizeof value) != 0) {
        setError(errPtr, posixStreamError(errno, "Unable to enable broadcast message sending"));
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Closing

void AsyncUdpSocket::closeSocket(std::shared_ptr<RunLoopSocket>& socket)
{
    if (!socket)
        return;
    socket->invalidate();
    socket.reset();
}

void AsyncUdpSocket::emptyQueues()
{
    if (currentSend_)
        endCurrentSend();
    if (currentReceive_)
        endCurrentReceive();
    sendQueue_.clear();
    receiveQueue_.clear();
    if (runLoop_) {
        runLoop_->cancelPerforms(this, "maybeDequeueSend");
        runLoop_->cancelPerforms(this, "maybeDequeueReceive");
    }
    flags_ &= ~(kFlagDequeueSendScheduled | kFlagDequeueReceiveScheduled);
}

void AsyncUdpSocket::close()
{
    if (flags_ & kFlagClosed)
        return;
    emptyQueues();
    closeSocket(socket4_);
    closeSocket(socket6_);
    flags_ |= kFlagClosed;
    if (runLoop_) {
        std::weak_ptr<AsyncUdpSocket> weakSelf = weak_from_this();
        runLoop_->perform(this, "onUdpSocketDidClose", std::chrono::nanoseconds(0), [weakSelf] {
            auto self = weakSelf.lock();
            auto delegate = self ? self->delegate_.lock() : nullptr;
            if (delegate)
                delegate->onUdpSocketDidClose(*self);
        }, runLoopModes_);
    }
}

void AsyncUdpSocket::closeAfterSending()
{
    if (flags_ & kFlagClosed)
        return;
    flags_ |= kFlagForbidSendReceive | kFlagCloseAfterSends;
    maybeScheduleClose();
}

void AsyncUdpSocket::closeAfterReceiving()
{
    if (flags_ & kFlagClosed)
        return;
    flags_ |= kFlagForbidSendReceive | kFlagCloseAfterReceives;
    maybeScheduleClose();
}

void AsyncUdpSocket::closeAfterSendingAndReceiving()
{
    if (flags_ & kFlagClosed)
        return;
    flags_ |= kFlagForbidSendReceive | kFlagCloseAfterSends | kFlagCloseAfterReceives;
    maybeScheduleClose();
}

void AsyncUdpSocket::maybeScheduleClose()
{
    const bool sending = currentSend_ || !sendQueue_.empty();
    const bool receiving = currentReceive_ || !receiveQueue_.empty();
    if ((flags_ & kFlagCloseAfterSends) && sending)
        return;
    if ((flags_ & kFlagCloseAfterReceives) && receiving)
        return;
    if (!(flags_ & (kFlagCloseAfterSends | kFlagCloseAfterReceives)) || (flags_ & kFlagClosed))
        return;
    schedule("close", &AsyncUdpSocket::close);
}

// ---------------------------------------------------------------------------
// State

std::optional<Bytes> AsyncUdpSocket::socketAddress(bool peer)
{
    RunLoopSocket* socket = socket4_ ? socket4_.get() : socket6_.get();
    if (!socket)
        return std::nullopt;
    return socketaddress::ofSocket(socket->nativeHandle(), peer);
}

std::optional<std::string> AsyncUdpSocket::localHost()
{
    if (cachedLocalHost_)
        return cachedLocalHost_;
    const auto address = socketAddress(false);
    if (!address)
        return std::nullopt;
    std::string host = addressHost(*address);
    if (flags_ & kFlagBound)
        cachedLocalHost_ = host;
    return host;
}

uint16_t AsyncUdpSocket::localPort()
{
    if (cachedLocalPort_ != 0)
        return cachedLocalPort_;
    const auto address = socketAddress(false);
    uint16_t port = 0;
    if (address)
        socketaddress::read(*address, nullptr, &port, nullptr);
    if (flags_ & kFlagBound)
        cachedLocalPort_ = port;
    return port;
}

std::optional<std::string> AsyncUdpSocket::connectedHost()
{
    if (cachedConnectedHost_)
        return cachedConnectedHost_;
    const auto address = socketAddress(true);
    if (!address)
        return std::nullopt;
    std::string host = addressHost(*address);
    if (flags_ & kFlagConnected)
        cachedConnectedHost_ = host;
    return host;
}

uint16_t AsyncUdpSocket::connectedPort()
{
    if (cachedConnectedPort_ != 0)
        return cachedConnectedPort_;
    const auto address = socketAddress(true);
    uint16_t port = 0;
    if (address)
        socketaddress::read(*address, nullptr, &port, nullptr);
    if (flags_ & kFlagConnected)
        cachedConnectedPort_ = port;
    return port;
}

bool AsyncUdpSocket::isConnected() const
{
    return (flags_ & kFlagConnected) && !(flags_ & kFlagClosed);
}

bool AsyncUdpSocket::isConnectedToHost(const std::string& host, uint16_t port)
{
    return connectedHost() == host && connectedPort() == port;
}

bool AsyncUdpSocket::isClosed() const
{
    return flags_ & kFlagClosed;
}

uint32_t AsyncUdpSocket::maximumTransmissionUnit() const
{
    RunLoopSocket* socket = socket4_ ? socket4_.get() : socket6_.get();
    if (!socket)
        return 0;
    const auto address = socketaddress::ofSocket(socket->nativeHandle(), false);
    const unsigned index = address ? socketaddress::interfaceIndexOf(*address) : 0;
    char name[IF_NAMESIZE] = {};
    if (index == 0 || !if_indextoname(index, name))
        return 0;
    ifreq request{};
    static_assert(sizeof request.ifr_name >= IF_NAMESIZE);
    std::memcpy(request.ifr_name, name, IF_NAMESIZE);
    if (::ioctl(socket->nativeHandle(), SIOCGIFMTU, &request) != 0)
        return 0;
    return static_cast<uint32_t>(request.ifr_mtu);
}

// ---------------------------------------------------------------------------
// Errors

Error AsyncUdpSocket::getErrnoError(int errorNumber)
{
    return GCDAsyncSocket::errnoError(errorNumber);
}

Error AsyncUdpSocket::getSocketError()
{
    Error error = udpError(AsyncUdpSocketCFSocketError, "General CFSocket error");
    // The system's own reason, which the general text does not carry.
    error.info[GCDAsyncSocketFailureReasonKey] = GCDAsyncSocket::errnoError(errno).message;
    return error;
}

Error AsyncUdpSocket::getIPv4UnavailableError()
{
    return udpError(AsyncUdpSocketIPv4Unavailable, "IPv4 is unavailable due to binding/connecting using IPv6 only");
}

Error AsyncUdpSocket::getIPv6UnavailableError()
{
    return udpError(AsyncUdpSocketIPv6Unavailable,
                    "IPv6 is unavailable due to binding/connecting using IPv4 only or is not supported on this platform");
}

Error AsyncUdpSocket::getSendTimeoutError()
{
    return udpError(AsyncUdpSocketSendTimeoutError, "Send operation timed out");
}

Error AsyncUdpSocket::getReceiveTimeoutError()
{
    return udpError(AsyncUdpSocketReceiveTimeoutError, "Receive operation timed out");
}

Error AsyncUdpSocket::getDatagramTooLongError(size_t length, size_t limit)
{
    return udpError(AsyncUdpSocketDatagramTooLongError, "A datagram of " + std::to_string(length) +
                                                            " bytes was longer than the receive buffer of " +
                                                            std::to_string(limit) + " bytes and was dropped.");
}

}  // namespace orv
