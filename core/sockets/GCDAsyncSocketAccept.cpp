// GCDAsyncSocket: listening on a port and handing each accepted connection to
// the delegate as a new, connected socket.
#include "core/sockets/GCDAsyncSocket.h"
#include "core/sockets/SocketAddress.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orv {

namespace {

// Linux cannot say how many connections are pending, so an event accepts
// until accept() finds none, up to this many at a time.
constexpr int kMaxAcceptsPerEvent = 64;

// Out of descriptors or memory, accepting is paused for a while, longer each
// time it fails again, up to the last value.
constexpr auto kAcceptBackoffFirst = std::chrono::milliseconds(100);
constexpr auto kAcceptBackoffLast = std::chrono::milliseconds(1000);

bool isOutOfResources(int errorNumber)
{
    return errorNumber == EMFILE || errorNumber == ENFILE || errorNumber == ENOBUFS || errorNumber == ENOMEM;
}

// The connection went away before it was taken, or the call was interrupted:
// others may still be waiting.
bool isTransient(int errorNumber)
{
    return errorNumber == ECONNABORTED || errorNumber == EINTR;
}

}  // namespace

bool GCDAsyncSocket::acceptOnPort(uint16_t port, Error* errPtr)
{
    return acceptOnInterface(std::string(), port, errPtr);
}

bool GCDAsyncSocket::acceptOnInterface(const std::string& inInterface, uint16_t port, Error* errPtr)
{
    const std::string interface = inInterface;
    bool result = false;
    std::optional<Error> err;

    syncOnSocketQueue([&] {
        if (delegate_.expired()) {
            err = badConfigError("Attempting to accept without a delegate. Set a delegate first.");
            return;
        }
        if (!delegateQueue_) {
            err = badConfigError("Attempting to accept without a delegate queue. Set a delegate queue first.");
            return;
        }
        const bool isIPv4Disabled = (config_ & kIPv4Disabled) != 0;
        const bool isIPv6Disabled = (config_ & kIPv6Disabled) != 0;
        if (isIPv4Disabled && isIPv6Disabled) {
            err = badConfigError("Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first.");
            return;
        }
        if (flags_ & kSocketStarted) {
            err = badConfigError(
                "Attempting to accept while connected or accepting connections. Disconnect first.");
            return;
        }

        readQueue_.clear();
        writeQueue_.clear();

        std::optional<Bytes> interface4;
        std::optional<Bytes> interface6;
        getInterfaceAddress4(&interface4, &interface6, interface, port);
        if (!interface4 && !interface6) {
            err = badParamError("Unknown interface. Specify valid interface by name (e.g. \"en1\") or IP address.");
            return;
        }
        if (isIPv4Disabled && !interface6) {
            err = badParamError("IPv4 has been disabled and specified interface doesn't support IPv6.");
            return;
        }
        if (isIPv6Disabled && !interface4) {
            err = badParamError("IPv6 has been disabled and specified interface doesn't support IPv4.");
            return;
        }

        const bool enableIPv4 = !isIPv4Disabled && interface4;
        const bool enableIPv6 = !isIPv6Disabled && interface6;

        Error error;
        if (enableIPv4) {
            socket4FD_ = createListenSocket(AF_INET, *interface4, &error);
            if (socket4FD_ == -1) {
                err = error;
                return;
            }
        }
        if (enableIPv6) {
            if (enableIPv4 && portFromAddress(*interface6) == 0) {
                // Both families listen on the port the system chose for IPv4.
                interface6 = socketaddress::withPort(std::move(*interface6), localPortFromSocket(socket4FD_));
            }
            socket6FD_ = createListenSocket(AF_INET6, *interface6, &error);
            if (socket6FD_ == -1) {
                if (socket4FD_ != -1) {
                    ::close(socket4FD_);
                    socket4FD_ = -1;
                }
                err = error;
                return;
            }
        }

        std::weak_ptr<GCDAsyncSocket> weakSelf = weak_from_this();
        auto makeAcceptSource = [&](int listenFD) {
            auto source = dispatch::Source::makeRead(listenFD, socketQueue_);
            source->setEventHandler([weakSelf, listenFD] {
                if (auto strongSelf = weakSelf.lock())
                    strongSelf->acceptSourceFired(listenFD);
            });
            source->setCancelHandler([listenFD] { ::close(listenFD); });
            source->resume();
            return source;
        };
        if (enableIPv4)
            accept4Source_ = makeAcceptSource(socket4FD_);
        if (enableIPv6)
            accept6Source_ = makeAcceptSource(socket6FD_);

        flags_ |= kSocketStarted;
        result = true;
    });

    if (!result && errPtr && err)
        *errPtr = *err;
    return result;
}

int GCDAsyncSocket::createListenSocket(int domain, const Bytes& interfaceAddr, Error* errPtr)
{
    const int socketFD = ::socket(domain, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socketFD == -1) {
        *errPtr = errnoErrorWithReason("Error in socket() function", errno);
        return -1;
    }
    auto fail = [&](const char* reason) {
        *errPtr = errnoErrorWithReason(reason, errno);
        ::close(socketFD);
        return -1;
    };
    if (::fcntl(socketFD, F_SETFL, O_NONBLOCK) == -1)
        return fail("Error enabling non-blocking IO on socket (fcntl)");
    int reuseOn = 1;
    if (::setsockopt(socketFD, SOL_SOCKET, SO_REUSEADDR, &reuseOn, sizeof reuseOn) == -1)
        return fail("Error enabling address reuse (setsockopt)");
    // Without it an IPv6 listener would also take IPv4 connections, and the
    // IPv4 listener could not share its port.
    int v6Only = 1;
    if (domain == AF_INET6 && ::setsockopt(socketFD, IPPROTO_IPV6, IPV6_V6ONLY, &v6Only, sizeof v6Only) == -1)
        return fail("Error enabling IPv6 only (setsockopt)");
    if (::bind(socketFD, reinterpret_cast<const sockaddr*>(interfaceAddr.data()),
               static_cast<socklen_t>(interfaceAddr.size())) == -1)
        return fail("Error in bind() function");
    if (::listen(socketFD, 1024) == -1)
        return fail("Error in listen() function");
    return socketFD;
}

void GCDAsyncSocket::acceptSourceFired(int listenFD)
{
    if (flags_ & kAcceptPaused)
        return;
    for (int i = 0; i < kMaxAcceptsPerEvent; ++i) {
        int acceptErrno = 0;
        if (doAccept(listenFD, &acceptErrno)) {
            acceptBackoff_ = dispatch::Duration::zero();
            continue;
        }
        if (isTransient(acceptErrno))
            continue;
        // The connection stays pending, so a level-triggered source would fire
        // again at once and spin until a descriptor is freed.
        if (isOutOfResources(acceptErrno))
            pauseAccepting();
        return;
    }
}

void GCDAsyncSocket::pauseAccepting()
{
    // Descriptors and memory are shared by both listeners: pause them together.
    flags_ |= kAcceptPaused;
    if (accept4Source_)
        accept4Source_->suspend();
    if (accept6Source_)
        accept6Source_->suspend();

    acceptBackoff_ = acceptBackoff_ == dispatch::Duration::zero()
                         ? dispatch::Duration(kAcceptBackoffFirst)
                         : std::min<dispatch::Duration>(acceptBackoff_ * 2, kAcceptBackoffLast);
    if (!acceptRetryTimer_) {
        acceptRetryTimer_ = dispatch::Source::makeTimer(socketQueue_);
        std::weak_ptr<GCDAsyncSocket> weakSelf = weak_from_this();
        acceptRetryTimer_->setEventHandler([weakSelf] {
            if (auto strongSelf = weakSelf.lock())
                strongSelf->resumeAccepting();
        });
        acceptRetryTimer_->setTimer(acceptBackoff_);
        acceptRetryTimer_->resume();
    } else {
        acceptRetryTimer_->setTimer(acceptBackoff_);
    }
}

void GCDAsyncSocket::resumeAccepting()
{
    if (!(flags_ & kAcceptPaused))
        return;
    flags_ &= ~kAcceptPaused;
    // A connection still pending fires the sources again right away.
    if (accept4Source_)
        accept4Source_->resume();
    if (accept6Source_)
        accept6Source_->resume();
}

bool GCDAsyncSocket::doAccept(int parentSocketFD, int* acceptErrno)
{
    const bool isIPv4Listener = parentSocketFD == socket4FD_;
    sockaddr_storage addr{};
    socklen_t addrLen = isIPv4Listener ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    // Non-blocking and close-on-exec from the first moment.
    const int childSocketFD = ::accept4(parentSocketFD, reinterpret_cast<sockaddr*>(&addr), &addrLen,
                                        SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (childSocketFD == -1) {
        *acceptErrno = errno;
        return false;
    }

    const auto* p = reinterpret_cast<const uint8_t*>(&addr);
    Bytes peerAddress(p, p + std::min<size_t>(addrLen, sizeof addr));

    auto delegate = delegate_.lock();
    if (!delegate || !delegateQueue_) {
        // Nobody could own the connection: close it rather than leak it.
        ::close(childSocketFD);
        return true;
    }

    dispatch::QueueRef delegateQueue = delegateQueue_;
    delegateQueue->async([delegate, delegateQueue, self = shared_from_this(), childSocketFD, isIPv4Listener,
                          peerAddress = std::move(peerAddress)] {
        dispatch::QueueRef childSocketQueue;
        if (auto chosen = delegate->newSocketQueueForConnectionFromAddress(peerAddress, *self))
            childSocketQueue = *chosen;

        auto acceptedSocket = GCDAsyncSocket::create(delegate, delegateQueue, childSocketQueue);
        // Nobody else knows the new socket yet, and everything below reaches
        // its queue through that queue, so setting its state here is safe.
        if (isIPv4Listener)
            acceptedSocket->socket4FD_ = childSocketFD;
        else
            acceptedSocket->socket6FD_ = childSocketFD;
        acceptedSocket->flags_ = kSocketStarted | kConnected;

        std::weak_ptr<GCDAsyncSocket> weakAccepted = acceptedSocket;
        acceptedSocket->socketQueue_->async([weakAccepted, childSocketFD] {
            if (auto strongAccepted = weakAccepted.lock())
                strongAccepted->setupReadAndWriteSourcesForNewlyConnectedSocket(childSocketFD);
        });

        delegate->socketDidAcceptNewSocket(*self, acceptedSocket);
    });
    return true;
}

}  // namespace orv
