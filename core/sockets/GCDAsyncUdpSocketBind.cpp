// GCDAsyncUdpSocket: binding, connecting to one peer, multicast membership
// and the broadcast permission.
#include "core/sockets/GCDAsyncUdpSocket.h"

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>

namespace orv {

namespace {

constexpr const char* kBothDisabled = "Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first.";
constexpr const char* kUnknownInterface =
    "Unknown interface. Specify valid interface by name (e.g. \"en1\") or IP address.";
constexpr const char* kNilHost = "The host param is nil. Should be domain name or IP address string.";

}  // namespace

bool GCDAsyncUdpSocket::syncWithError(Error* errPtr, const std::function<bool(Error*)>& work)
{
    bool result = false;
    std::optional<Error> error;
    syncOnSocketQueue([&] {
        Error e;
        result = work(&e);
        if (!result && !e.domain.empty())
            error = std::move(e);
    });
    if (error && errPtr)
        *errPtr = std::move(*error);
    return result;
}

bool GCDAsyncUdpSocket::preBind(Error* errPtr) const
{
    if (!preOp(errPtr))
        return false;
    const char* message = nullptr;
    // A connect binds too, so it is named first: it is the reason.
    if (flags_ & (kConnecting | kDidConnect))
        message = "Cannot bind after connecting. If needed, bind first, then connect.";
    else if (flags_ & kDidBind)
        message = "Cannot bind a socket more than once.";
    else if ((config_ & kIPv4Disabled) && (config_ & kIPv6Disabled))
        message = kBothDisabled;
    if (message && errPtr)
        *errPtr = badConfigError(message);
    return message == nullptr;
}

bool GCDAsyncUdpSocket::preConnect(Error* errPtr) const
{
    if (!preOp(errPtr))
        return false;
    const char* message = nullptr;
    if (flags_ & (kConnecting | kDidConnect))
        message = "Cannot connect a socket more than once.";
    else if ((config_ & kIPv4Disabled) && (config_ & kIPv6Disabled))
        message = kBothDisabled;
    if (message && errPtr)
        *errPtr = badConfigError(message);
    return message == nullptr;
}

bool GCDAsyncUdpSocket::preJoin(Error* errPtr) const
{
    if (!preOp(errPtr))
        return false;
    const char* message = nullptr;
    if (!(flags_ & kDidBind))
        message = "Must bind a socket before joining a multicast group.";
    else if (flags_ & (kConnecting | kDidConnect))
        message = "Cannot join a multicast group if connected.";
    if (message && errPtr)
        *errPtr = badConfigError(message);
    return message == nullptr;
}

// ---------------------------------------------------------------------------
// Binding

bool GCDAsyncUdpSocket::bindToPort(uint16_t port, Error* errPtr)
{
    return bindToPort(port, std::string(), errPtr);
}

bool GCDAsyncUdpSocket::bindToPort(uint16_t port, const std::string& interface, Error* errPtr)
{
    return syncWithError(errPtr, [&](Error* err) {
        if (!preBind(err))
            return false;
        std::optional<Bytes> interface4, interface6;
        convertIntefaceDescription(interface, port, &interface4, &interface6);
        if (!interface4 && !interface6) {
            *err = badParamError(kUnknownInterface);
            return false;
        }
        if ((config_ & kIPv4Disabled) && !interface6) {
            *err = badParamError("IPv4 has been disabled and specified interface doesn't support IPv6.");
            return false;
        }
        if ((config_ & kIPv6Disabled) && !interface4) {
            *err = badParamError("IPv6 has been disabled and specified interface doesn't support IPv4.");
            return false;
        }
        bool useIPv4 = !(config_ & kIPv4Disabled) && interface4;
        bool useIPv6 = !(config_ & kIPv6Disabled) && interface6;
        if (!(flags_ & kDidCreateSockets) && !createSockets(useIPv4, useIPv6, err))
            return false;
        // Sockets made earlier (for broadcast, a failed connect or send) may
        // lack a family an earlier join or connect closed.
        useIPv4 = useIPv4 && f4_.fd != -1;
        useIPv6 = useIPv6 && f6_.fd != -1;
        if (!useIPv4 && !useIPv6) {
            *err = badParamError(kUnknownInterface);
            return false;
        }
        auto bindOne = [&](int fd, const Bytes& address) {
            if (::bind(fd, reinterpret_cast<const sockaddr*>(address.data()),
                                   static_cast<socklen_t>(address.size())) == 0)
                return true;
            const int savedErrno = errno;
            closeSockets();
            *err = errnoErrorWithReason("Error in bind() function", savedErrno);
            return false;
        };
        if (useIPv4 && !bindOne(f4_.fd, *interface4))
            return false;
        if (useIPv6 && !bindOne(f6_.fd, *interface6))
            return false;
        flags_ |= kDidBind;
        if (!useIPv4)
            flags_ |= kIPv4Deactivated;
        if (!useIPv6)
            flags_ |= kIPv6Deactivated;
        return true;
    });
}

bool GCDAsyncUdpSocket::bindToAddress(const Bytes& localAddr, Error* errPtr)
{
    return syncWithError(errPtr, [&](Error* err) {
        if (!preBind(err))
            return false;
        const int af = familyFromAddress(localAddr);
        if (af != AF_INET && af != AF_INET6) {
            *err = badParamError("A valid IPv4 or IPv6 address was not given");
            return false;
        }
        if (af == AF_INET && (config_ & kIPv4Disabled)) {
            *err = badParamError("IPv4 has been disabled and an IPv4 address was passed.");
            return false;
        }
        if (af == AF_INET6 && (config_ & kIPv6Disabled)) {
            *err = badParamError("IPv6 has been disabled and an IPv6 address was passed.");
            return false;
        }
        if (!(flags_ & kDidCreateSockets) && !createSockets(af == AF_INET, af == AF_INET6, err))
            return false;
        const int fd = family(af).fd;
        if (fd == -1 || ::bind(fd, reinterpret_cast<const sockaddr*>(localAddr.data()),
                               static_cast<socklen_t>(localAddr.size())) != 0) {
            const int savedErrno = fd == -1 ? EBADF : errno;
            closeSockets();
            *err = errnoErrorWithReason("Error in bind() function", savedErrno);
            return false;
        }
        flags_ |= kDidBind | (af == AF_INET ? kIPv6Deactivated : kIPv4Deactivated);
        return true;
    });
}

// ---------------------------------------------------------------------------
// Connecting

bool GCDAsyncUdpSocket::connectToHost(const std::string& host, uint16_t port, Error* errPtr)
{
    return syncWithError(errPtr, [&](Error* err) {
        if (!preConnect(err))
            return false;
        if (host.empty()) {
            *err = badParamError(kNilHost);
            return false;
        }
        if (!(flags_ & kDidCreateSockets) && !createSockets(err))
            return false;
        auto packet = std::make_shared<GCDAsyncUdpSpecialPacket>();
        packet->resolveInProgress = true;
        std::weak_ptr<GCDAsyncUdpSocket> weakSelf = weak_from_this();
        asyncResolveHost(host, port, [weakSelf, packet](std::vector<Bytes> addresses, std::optional<Error> error) {
            packet->resolveInProgress = false;
            packet->addresses = std::move(addresses);
            packet->error = std::move(error);
            if (auto self = weakSelf.lock())
                self->maybeConnect();
        });
        flags_ |= kConnecting;
        sendQueue_.emplace_back(packet);
        maybeDequeueSend();
        return true;
    });
}

bool GCDAsyncUdpSocket::connectToAddress(const Bytes& remoteAddr, Error* errPtr)
{
    return syncWithError(errPtr, [&](Error* err) {
        if (!preConnect(err))
            return false;
        if (remoteAddr.empty()) {
            *err = badParamError("The address param is nil. Should be a valid address.");
            return false;
        }
        if (!(flags_ & kDidCreateSockets) && !createSockets(err))
            return false;
        auto packet = std::make_shared<GCDAsyncUdpSpecialPacket>();
        packet->addresses.push_back(remoteAddr);
        flags_ |= kConnecting;
        sendQueue_.emplace_back(packet);
        maybeDequeueSend();
        return true;
    });
}

void GCDAsyncUdpSocket::maybeConnect()
{
    if (!currentSend_ || !std::holds_alternative<std::shared_ptr<GCDAsyncUdpSpecialPacket>>(*currentSend_))
        return;
    auto packet = std::get<std::shared_ptr<GCDAsyncUdpSpecialPacket>>(*currentSend_);
    if (packet->resolveInProgress)
        return;
    if (packet->error) {
        notifyDidNotConnect(*packet->error);
    } else {
        std::optional<Bytes> address;
        Error error;
        const int af = getAddress(&address, &error, packet->addresses);
        if (af == 0 || !address) {
            notifyDidNotConnect(error);
        } else if (Error connectError; connectWithAddress(af, *address, &connectError)) {
            flags_ |= kDidBind | kDidConnect;
            cachedConnectedAddress_ = address;
            cachedConnectedHost_ = hostFromAddress(*address);
            cachedConnectedPort_ = portFromAddress(*address);
            cachedConnectedFamily_ = af;
            notifyDidConnectToAddress(*address);
        } else {
            notifyDidNotConnect(connectError);
        }
    }
    flags_ &= ~kConnecting;
    endCurrentSend();
    maybeDequeueSend();
}

bool GCDAsyncUdpSocket::connectWithAddress(int af, const Bytes& address, Error* errPtr)
{
    const int fd = family(af).fd;
    if (fd == -1) {
        // The family was closed by an earlier bind or join.
        if (errPtr)
            *errPtr = badParamError(af == AF_INET ? "The socket has no IPv4 side for an IPv4 address."
                                                  : "The socket has no IPv6 side for an IPv6 address.");
        return false;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(address.data()), static_cast<socklen_t>(address.size())) != 0) {
        if (errPtr)
            *errPtr = errnoErrorWithReason("Error in connect() function", errno);
        return false;
    }
    if (af == AF_INET) {
        closeSocket(AF_INET6);
        flags_ |= kIPv6Deactivated;
    } else {
        closeSocket(AF_INET);
        flags_ |= kIPv4Deactivated;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Multicast and broadcast

bool GCDAsyncUdpSocket::joinMulticastGroup(const std::string& group, Error* errPtr)
{
    return joinMulticastGroup(group, std::string(), errPtr);
}

bool GCDAsyncUdpSocket::joinMulticastGroup(const std::string& group, const std::string& interface, Error* errPtr)
{
    return performMulticastRequest(true, group, interface, errPtr);
}

bool GCDAsyncUdpSocket::leaveMulticastGroup(const std::string& group, Error* errPtr)
{
    return leaveMulticastGroup(group, std::string(), errPtr);
}

bool GCDAsyncUdpSocket::leaveMulticastGroup(const std::string& group, const std::string& interface, Error* errPtr)
{
    return performMulticastRequest(false, group, interface, errPtr);
}

bool GCDAsyncUdpSocket::performMulticastRequest(bool join, const std::string& group, const std::string& interface,
                                                Error* errPtr)
{
    return syncWithError(errPtr, [&](Error* err) {
        if (!preJoin(err))
            return false;
        std::optional<Bytes> group4, group6;
        convertNumericHost(group, 0, &group4, &group6);
        if (!group4 && !group6) {
            *err = badParamError("Unknown group. Specify valid group IP address.");
            return false;
        }
        std::optional<Bytes> interface4, interface6;
        convertIntefaceDescription(interface, 0, &interface4, &interface6);
        if (!interface4 && !interface6) {
            *err = badParamError(kUnknownInterface);
            return false;
        }
        if (f4_.fd != -1 && group4 && interface4) {
            sockaddr_in g{}, i{};
            std::memcpy(&g, group4->data(), sizeof g);
            std::memcpy(&i, interface4->data(), sizeof i);
            ip_mreq request{};
            request.imr_multiaddr = g.sin_addr;
            request.imr_interface = i.sin_addr;
            if (::setsockopt(f4_.fd, IPPROTO_IP, join ? IP_ADD_MEMBERSHIP : IP_DROP_MEMBERSHIP, &request,
                             sizeof request) != 0) {
                *err = errnoErrorWithReason("Error in setsockopt() function", errno);
                return false;
            }
            // Only the group's family stays usable.
            closeSocket(AF_INET6);
            flags_ |= kIPv6Deactivated;
            return true;
        }
        if (f6_.fd != -1 && group6 && interface6) {
            sockaddr_in6 g{};
            std::memcpy(&g, group6->data(), sizeof g);
            ipv6_mreq request{};
            request.ipv6mr_multiaddr = g.sin6_addr;
            request.ipv6mr_interface = indexOfInterfaceAddr6(*interface6);
            if (::setsockopt(f6_.fd, IPPROTO_IPV6, join ? IPV6_ADD_MEMBERSHIP : IPV6_DROP_MEMBERSHIP, &request,
                             sizeof request) != 0) {
                *err = errnoErrorWithReason("Error in setsockopt() function", errno);
                return false;
            }
            closeSocket(AF_INET);
            flags_ |= kIPv4Deactivated;
            return true;
        }
        *err = badParamError("Socket, group, and interface do not have matching IP versions");
        return false;
    });
}

bool GCDAsyncUdpSocket::enableBroadcast(bool flag, Error* errPtr)
{
    return syncWithError(errPtr, [&](Error* err) {
        if (!preOp(err))
            return false;
        if (!(flags_ & kDidCreateSockets) && !createSockets(err))
            return false;
        if (f4_.fd == -1) {
            *err = badParamError("Broadcast needs an IPv4 socket, and this socket has none.");
            return false;
        }
        const int value = flag ? 1 : 0;
        if (::setsockopt(f4_.fd, SOL_SOCKET, SO_BROADCAST, &value, sizeof value) != 0) {
            *err = errnoErrorWithReason("Error in setsockopt() function", errno);
            return false;
        }
        return true;
    });
}

}  // namespace orv
