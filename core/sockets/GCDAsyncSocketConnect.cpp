// GCDAsyncSocket: connecting to a host or an address, the connect timeout and
// the set-up of a new connection.
//
// The connect itself never blocks: the descriptor is non-blocking from the
// start and a write source on the socket queue reports when the connect has
// finished (SO_ERROR then tells how). That keeps the descriptor owned by the
// socket queue, so a close while connecting cannot race a connect running
// elsewhere on a descriptor number that was meanwhile reused.
#include "core/sockets/GCDAsyncSocket.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orv {

namespace {

dispatch::Duration seconds(double value)
{
    return std::chrono::duration_cast<dispatch::Duration>(std::chrono::duration<double>(value));
}

}  // namespace

bool GCDAsyncSocket::connectToHost(const std::string& host, uint16_t port, Error* errPtr)
{
    return connectToHost(host, port, std::string(), -1.0, errPtr);
}

bool GCDAsyncSocket::connectToHost(const std::string& host, uint16_t port, double timeout, Error* errPtr)
{
    return connectToHost(host, port, std::string(), timeout, errPtr);
}

bool GCDAsyncSocket::connectToHost(const std::string& inHost, uint16_t port, const std::string& inInterface,
                                   double timeout, Error* errPtr)
{
    const std::string host = inHost;
    const std::string interface = inInterface;
    bool result = false;
    std::optional<Error> preConnectErr;

    syncOnSocketQueue([&] {
        if (host.empty()) {
            preConnectErr = badParamError(
                "Invalid host parameter (nil or \"\"). Should be a domain name or IP address string.");
            return;
        }
        Error error;
        if (!preConnectWithInterface(interface, &error)) {
            preConnectErr = error;
            return;
        }

        flags_ |= kSocketStarted;

        // The lookup may block, so it runs elsewhere and reports back here;
        // the state index drops a result that arrives after a close.
        const int aStateIndex = stateIndex_;
        std::weak_ptr<GCDAsyncSocket> weakSelf = weak_from_this();
        dispatch::Queue::global(dispatch::Priority::Default)->async([weakSelf, host, port, aStateIndex] {
            Error lookupErr;
            auto addresses = lookupHost(host, port, &lookupErr);
            auto strongSelf = weakSelf.lock();
            if (!strongSelf)
                return;
            if (!addresses) {
                strongSelf->socketQueue_->async([strongSelf, aStateIndex, lookupErr] {
                    strongSelf->lookupDidFail(aStateIndex, lookupErr);
                });
                return;
            }
            std::optional<Bytes> address4;
            std::optional<Bytes> address6;
            for (const Bytes& address : *addresses) {
                if (!address4 && isIPv4Address(address))
                    address4 = address;
                else if (!address6 && isIPv6Address(address))
                    address6 = address;
            }
            strongSelf->socketQueue_->async([strongSelf, aStateIndex, address4, address6] {
                strongSelf->lookupDidSucceed(aStateIndex, address4, address6);
            });
        });

        startConnectTimeout(timeout);
        result = true;
    });

    if (!result && errPtr && preConnectErr)
        *errPtr = *preConnectErr;
    return result;
}

bool GCDAsyncSocket::connectToAddress(const Bytes& remoteAddr, Error* errPtr)
{
    return connectToAddress(remoteAddr, std::string(), -1.0, errPtr);
}

bool GCDAsyncSocket::connectToAddress(const Bytes& remoteAddr, double timeout, Error* errPtr)
{
    return connectToAddress(remoteAddr, std::string(), timeout, errPtr);
}

bool GCDAsyncSocket::connectToAddress(const Bytes& inRemoteAddr, const std::string& inInterface, double timeout,
                                      Error* errPtr)
{
    const Bytes remoteAddr = inRemoteAddr;
    const std::string interface = inInterface;
    bool result = false;
    std::optional<Error> err;

    syncOnSocketQueue([&] {
        std::optional<Bytes> address4;
        std::optional<Bytes> address6;
        if (remoteAddr.size() >= sizeof(sockaddr_in)) {
            if (isIPv4Address(remoteAddr) && remoteAddr.size() == sizeof(sockaddr_in))
                address4 = remoteAddr;
            else if (isIPv6Address(remoteAddr) && remoteAddr.size() == sizeof(sockaddr_in6))
                address6 = remoteAddr;
        }
        if (!address4 && !address6) {
            err = badParamError("A valid IPv4 or IPv6 address was not given");
            return;
        }
        if ((config_ & kIPv4Disabled) && address4) {
            err = badParamError("IPv4 has been disabled and an IPv4 address was passed.");
            return;
        }
        if ((config_ & kIPv6Disabled) && address6) {
            err = badParamError("IPv6 has been disabled and an IPv6 address was passed.");
            return;
        }
        Error error;
        if (!preConnectWithInterface(interface, &error)) {
            err = error;
            return;
        }
        if (!connectWithAddress4(address4, address6, &error)) {
            err = error;
            return;
        }
        flags_ |= kSocketStarted;
        startConnectTimeout(timeout);
        result = true;
    });

    if (!result && errPtr && err)
        *errPtr = *err;
    return result;
}

bool GCDAsyncSocket::preConnectWithInterface(const std::string& interface, Error* errPtr)
{
    if (delegate_.expired()) {
        *errPtr = badConfigError("Attempting to connect without a delegate. Set a delegate first.");
        return false;
    }
    if (!delegateQueue_) {
        *errPtr = badConfigError("Attempting to connect without a delegate queue. Set a delegate queue first.");
        return false;
    }
    if (flags_ & kSocketStarted) {
        *errPtr = badConfigError(
            "Attempting to connect while connected or accepting connections. Disconnect first.");
        return false;
    }
    const bool isIPv4Disabled = (config_ & kIPv4Disabled) != 0;
    const bool isIPv6Disabled = (config_ & kIPv6Disabled) != 0;
    if (isIPv4Disabled && isIPv6Disabled) {
        *errPtr = badConfigError("Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first.");
        return false;
    }
    if (!interface.empty()) {
        std::optional<Bytes> interface4;
        std::optional<Bytes> interface6;
        getInterfaceAddress4(&interface4, &interface6, interface, 0);
        if (!interface4 && !interface6) {
            *errPtr = badParamError(
                "Unknown interface. Specify valid interface by name (e.g. \"en1\") or IP address.");
            return false;
        }
        if (isIPv4Disabled && !interface6) {
            *errPtr = badParamError("IPv4 has been disabled and specified interface doesn't support IPv6.");
            return false;
        }
        if (isIPv6Disabled && !interface4) {
            *errPtr = badParamError("IPv6 has been disabled and specified interface doesn't support IPv4.");
            return false;
        }
        connectInterface4_ = std::move(interface4);
        connectInterface6_ = std::move(interface6);
    }
    readQueue_.clear();
    writeQueue_.clear();
    return true;
}

void GCDAsyncSocket::lookupDidSucceed(int aStateIndex, std::optional<Bytes> address4, std::optional<Bytes> address6)
{
    if (aStateIndex != stateIndex_)
        return;  // an earlier connection attempt
    const bool isIPv4Disabled = (config_ & kIPv4Disabled) != 0;
    const bool isIPv6Disabled = (config_ & kIPv6Disabled) != 0;
    if (isIPv4Disabled && !address6) {
        closeWithError(otherError("IPv4 has been disabled and DNS lookup found no IPv6 address."));
        return;
    }
    if (isIPv6Disabled && !address4) {
        closeWithError(otherError("IPv6 has been disabled and DNS lookup found no IPv4 address."));
        return;
    }
    if (isIPv4Disabled)
        address4.reset();
    if (isIPv6Disabled)
        address6.reset();
    Error err;
    if (!connectWithAddress4(std::move(address4), std::move(address6), &err))
        closeWithError(err);
}

void GCDAsyncSocket::lookupDidFail(int aStateIndex, const Error& error)
{
    if (aStateIndex != stateIndex_)
        return;
    endConnectTimeout();
    closeWithError(error);
}

bool GCDAsyncSocket::connectWithAddress4(std::optional<Bytes> address4, std::optional<Bytes> address6, Error* errPtr)
{
    // A chosen interface decides the family: a connect of the other family,
    // left unbound, would leave through whatever interface the routes pick.
    if (connectInterface4_ || connectInterface6_) {
        if (!connectInterface4_)
            address4.reset();
        if (!connectInterface6_)
            address6.reset();
        if (!address4 && !address6) {
            *errPtr = badParamError("Specified interface doesn't support the address family of the remote host.");
            return false;
        }
    }
    const bool preferIPv6 = (config_ & kPreferIPv6) != 0;
    const bool useIPv6 = (preferIPv6 && address6) || !address4;
    const Bytes& address = useIPv6 ? *address6 : *address4;
    const int family = useIPv6 ? AF_INET6 : AF_INET;
    const std::optional<Bytes>& connectInterface = useIPv6 ? connectInterface6_ : connectInterface4_;

    // Close-on-exec: the bridge starts child processes all the time, and one
    // of them (a daemon) would otherwise keep the connection alive.
    const int socketFD = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socketFD == -1) {
        *errPtr = errnoErrorWithReason("Error in socket() function", errno);
        return false;
    }
    if (useIPv6) {
        int on = 1;
        ::setsockopt(socketFD, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        socket6FD_ = socketFD;
    } else {
        socket4FD_ = socketFD;
    }

    if (connectInterface) {
        if (portFromAddress(*connectInterface) > 0) {
            int reuseOn = 1;
            ::setsockopt(socketFD, SOL_SOCKET, SO_REUSEADDR, &reuseOn, sizeof reuseOn);
        }
        if (::bind(socketFD, reinterpret_cast<const sockaddr*>(connectInterface->data()),
                   static_cast<socklen_t>(connectInterface->size())) != 0) {
            *errPtr = errnoErrorWithReason("Error in bind() function", errno);
            // Not started yet, so no close step would ever close it.
            ::close(socketFD);
            socket4FD_ = -1;
            socket6FD_ = -1;
            return false;
        }
    }

    const int aStateIndex = stateIndex_;
    std::weak_ptr<GCDAsyncSocket> weakSelf = weak_from_this();
    const int result = ::connect(socketFD, reinterpret_cast<const sockaddr*>(address.data()),
                                 static_cast<socklen_t>(address.size()));
    if (result != 0 && errno != EINPROGRESS) {
        // Reported later, like any connect failure: the caller was promised
        // an answer through the delegate.
        Error error = errnoErrorWithReason("Error in connect() function", errno);
        socketQueue_->async([weakSelf, aStateIndex, error] {
            if (auto strongSelf = weakSelf.lock())
                strongSelf->didNotConnect(aStateIndex, error);
        });
        return true;
    }

    connectSource_ = dispatch::Source::makeWrite(socketFD, socketQueue_);
    connectSourceOwnsFD_ = std::make_shared<bool>(true);
    connectSource_->setEventHandler([weakSelf, aStateIndex] {
        if (auto strongSelf = weakSelf.lock())
            strongSelf->connectSourceFired(aStateIndex);
    });
    connectSource_->setCancelHandler([socketFD, ownsFD = connectSourceOwnsFD_] {
        if (*ownsFD)
            ::close(socketFD);
    });
    connectSource_->resume();
    return true;
}

void GCDAsyncSocket::connectSourceFired(int aStateIndex)
{
    if (aStateIndex != stateIndex_ || !connectSource_)
        return;
    const int socketFD = openSocketFD();
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socketFD, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error != 0)
        didNotConnect(aStateIndex, errnoErrorWithReason("Error in connect() function", error));
    else
        didConnect(aStateIndex);
}

void GCDAsyncSocket::didConnect(int aStateIndex)
{
    if (aStateIndex != stateIndex_)
        return;

    flags_ |= kConnected;
    endConnectTimeout();

    const int socketFD = openSocketFD();
    const auto host = connectedHostFromSocket(socketFD);
    const uint16_t port = connectedPortFromSocket(socketFD);
    notifyDelegate([host = host.value_or(std::string()), port](GCDAsyncSocketDelegate& d, GCDAsyncSocket& sock) {
        d.socketDidConnectToHost(sock, host, port);
    });

    if (::fcntl(socketFD, F_SETFL, ::fcntl(socketFD, F_GETFL) | O_NONBLOCK) == -1) {
        closeWithError(otherError("Error enabling non-blocking IO on socket (fcntl)"));
        return;
    }

    // From here the read and write sources own the descriptor.
    if (connectSource_) {
        *connectSourceOwnsFD_ = false;
        connectSource_->cancel();
        connectSource_.reset();
        connectSourceOwnsFD_.reset();
    }
    setupReadAndWriteSourcesForNewlyConnectedSocket(socketFD);

    maybeDequeueRead();
    maybeDequeueWrite();
}

void GCDAsyncSocket::didNotConnect(int aStateIndex, const Error& error)
{
    if (aStateIndex != stateIndex_)
        return;
    closeWithError(error);
}

void GCDAsyncSocket::startConnectTimeout(double timeout)
{
    if (timeout < 0.0)
        return;
    connectTimer_ = dispatch::Source::makeTimer(socketQueue_);
    std::weak_ptr<GCDAsyncSocket> weakSelf = weak_from_this();
    connectTimer_->setEventHandler([weakSelf] {
        if (auto strongSelf = weakSelf.lock())
            strongSelf->doConnectTimeout();
    });
    connectTimer_->setTimer(seconds(timeout));
    connectTimer_->resume();
}

void GCDAsyncSocket::endConnectTimeout()
{
    if (connectTimer_) {
        connectTimer_->cancel();
        connectTimer_.reset();
    }
    // Voids any lookup or connect result still on its way.
    stateIndex_++;
    connectInterface4_.reset();
    connectInterface6_.reset();
}

void GCDAsyncSocket::doConnectTimeout()
{
    if (!connectTimer_)
        return;
    endConnectTimeout();
    closeWithError(connectTimeoutError());
}

}  // namespace orv
