// GCDAsyncUdpSocket: host resolution, the choice of one address by the
// IP-version settings, interface descriptions, and the address queries with
// their caches.
#include "core/sockets/GCDAsyncUdpSocket.h"
#include "core/sockets/SocketAddress.h"

#include <cstring>
#include <netdb.h>
#include <netinet/in.h>

namespace orv {

// ---------------------------------------------------------------------------
// Class helpers

std::string GCDAsyncUdpSocket::hostFromSockaddr4(const void* sockaddr4)
{
    return socketaddress::hostFromSockaddr4(sockaddr4);
}

std::string GCDAsyncUdpSocket::hostFromSockaddr6(const void* sockaddr6)
{
    return socketaddress::hostFromSockaddr6(sockaddr6);
}

uint16_t GCDAsyncUdpSocket::portFromSockaddr4(const void* sockaddr4)
{
    return socketaddress::portFromSockaddr4(sockaddr4);
}

uint16_t GCDAsyncUdpSocket::portFromSockaddr6(const void* sockaddr6)
{
    return socketaddress::portFromSockaddr6(sockaddr6);
}

bool GCDAsyncUdpSocket::getHost(std::string* hostPtr, uint16_t* portPtr, int* familyPtr, const Bytes& address)
{
    if (socketaddress::read(address, hostPtr, portPtr, familyPtr))
        return true;
    if (hostPtr)
        hostPtr->clear();
    if (portPtr)
        *portPtr = 0;
    if (familyPtr)
        *familyPtr = 0;
    return false;
}

bool GCDAsyncUdpSocket::getHost(std::string* hostPtr, uint16_t* portPtr, const Bytes& address)
{
    return getHost(hostPtr, portPtr, nullptr, address);
}

std::optional<std::string> GCDAsyncUdpSocket::hostFromAddress(const Bytes& address)
{
    std::string host;
    if (!getHost(&host, nullptr, nullptr, address))
        return std::nullopt;
    return host;
}

uint16_t GCDAsyncUdpSocket::portFromAddress(const Bytes& address)
{
    uint16_t port = 0;
    getHost(nullptr, &port, nullptr, address);
    return port;
}

int GCDAsyncUdpSocket::familyFromAddress(const Bytes& address)
{
    int family = 0;
    getHost(nullptr, nullptr, &family, address);
    return family;
}

bool GCDAsyncUdpSocket::isIPv4Address(const Bytes& address)
{
    return familyFromAddress(address) == AF_INET;
}

bool GCDAsyncUdpSocket::isIPv6Address(const Bytes& address)
{
    return familyFromAddress(address) == AF_INET6;
}

// ---------------------------------------------------------------------------
// Resolution and choice

void GCDAsyncUdpSocket::asyncResolveHost(const std::optional<std::string>& host, uint16_t port,
                                         ResolveCompletion completion)
{
    if (!host) {
        socketQueue_->async([completion = std::move(completion)] {
            completion({}, badParamError("The host param is nil. Should be domain name or IP address string."));
        });
        return;
    }
    // The resolver blocks, so it never runs on the socket queue.
    dispatch::Queue::global()->async([host = *host, port, queue = socketQueue_, completion = std::move(completion)] {
        std::vector<Bytes> addresses;
        std::optional<Error> error;
        if (const int code = socketaddress::lookup(host, port, SOCK_DGRAM, IPPROTO_UDP, 0, &addresses); code != 0)
            error = gaiError(code);
        queue->async([completion, addresses = std::move(addresses), error = std::move(error)]() mutable {
            completion(std::move(addresses), std::move(error));
        });
    });
}

int GCDAsyncUdpSocket::getAddress(std::optional<Bytes>* addressPtr, Error* errorPtr,
                                  const std::vector<Bytes>& addresses) const
{
    std::optional<Bytes> address4;
    std::optional<Bytes> address6;
    bool ipv4First = false;
    for (const Bytes& address : addresses) {
        const int family = familyFromAddress(address);
        if (family == AF_INET && !address4) {
            address4 = address;
            ipv4First = !address6;
        } else if (family == AF_INET6 && !address6) {
            address6 = address;
        }
    }
    const bool ipv4Off = (config_ & kIPv4Disabled) || (flags_ & kIPv4Deactivated);
    const bool ipv6Off = (config_ & kIPv6Disabled) || (flags_ & kIPv6Deactivated);

    const char* refusal = nullptr;
    if ((config_ & kIPv4Disabled) && !address6)
        refusal = "IPv4 has been disabled and DNS lookup found no IPv6 address(es).";
    else if ((config_ & kIPv6Disabled) && !address4)
        refusal = "IPv6 has been disabled and DNS lookup found no IPv4 address(es).";
    else if ((flags_ & kIPv4Deactivated) && !address6)
        refusal = "IPv4 has been deactivated due to bind/connect, and DNS lookup found no IPv6 address(es).";
    else if ((flags_ & kIPv6Deactivated) && !address4)
        refusal = "IPv6 has been deactivated due to bind/connect, and DNS lookup found no IPv4 address(es).";
    if (refusal) {
        if (addressPtr)
            addressPtr->reset();
        if (errorPtr)
            *errorPtr = otherError(refusal);
        return 0;
    }

    bool useIPv4;
    if (ipv4Off)
        useIPv4 = false;
    else if (ipv6Off)
        useIPv4 = true;
    else if (!address4 || !address6)
        useIPv4 = address4.has_value();
    else if (config_ & kPreferIPv4)
        useIPv4 = true;
    else if (config_ & kPreferIPv6)
        useIPv4 = false;
    else
        useIPv4 = ipv4First;

    if (addressPtr)
        *addressPtr = useIPv4 ? address4 : address6;
    return useIPv4 ? AF_INET : AF_INET6;
}

void GCDAsyncUdpSocket::convertIntefaceDescription(const std::optional<std::string>& interfaceDescription,
                                                   uint16_t port, std::optional<Bytes>* interfaceAddr4Ptr,
                                                   std::optional<Bytes>* interfaceAddr6Ptr)
{
    std::optional<Bytes> addr4;
    std::optional<Bytes> addr6;
    if (!interfaceDescription || interfaceDescription->empty()) {
        addr4 = socketaddress::any4(port);
        addr6 = socketaddress::any6(port);
    } else if (*interfaceDescription == "localhost" || *interfaceDescription == "loopback") {
        addr4 = socketaddress::loopback4(port);
        addr6 = socketaddress::loopback6(port);
    } else {
        socketaddress::findInterface(*interfaceDescription, port, &addr4, &addr6);
    }
    if (interfaceAddr4Ptr)
        *interfaceAddr4Ptr = std::move(addr4);
    if (interfaceAddr6Ptr)
        *interfaceAddr6Ptr = std::move(addr6);
}

void GCDAsyncUdpSocket::convertNumericHost(const std::string& numericHost, uint16_t port,
                                           std::optional<Bytes>* addr4Ptr, std::optional<Bytes>* addr6Ptr)
{
    std::optional<Bytes> addr4;
    std::optional<Bytes> addr6;
    std::vector<Bytes> addresses;
    // "localhost" is a name, not a number.
    if (numericHost != "localhost" && numericHost != "loopback" &&
        socketaddress::lookup(numericHost, port, SOCK_DGRAM, IPPROTO_UDP, AI_NUMERICHOST, &addresses) == 0) {
        for (const Bytes& address : addresses) {
            if (!addr4 && isIPv4Address(address))
                addr4 = address;
            else if (!addr6 && isIPv6Address(address))
                addr6 = address;
        }
    }
    if (addr4Ptr)
        *addr4Ptr = std::move(addr4);
    if (addr6Ptr)
        *addr6Ptr = std::move(addr6);
}

bool GCDAsyncUdpSocket::isConnectedToAddress4(const Bytes& someAddr4) const
{
    if (cachedConnectedFamily_ != AF_INET || !cachedConnectedAddress_ || !isIPv4Address(someAddr4))
        return false;
    sockaddr_in a{}, b{};
    std::memcpy(&a, someAddr4.data(), sizeof a);
    std::memcpy(&b, cachedConnectedAddress_->data(), sizeof b);
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

bool GCDAsyncUdpSocket::isConnectedToAddress6(const Bytes& someAddr6) const
{
    if (cachedConnectedFamily_ != AF_INET6 || !cachedConnectedAddress_ || !isIPv6Address(someAddr6))
        return false;
    sockaddr_in6 a{}, b{};
    std::memcpy(&a, someAddr6.data(), sizeof a);
    std::memcpy(&b, cachedConnectedAddress_->data(), sizeof b);
    return std::memcmp(&a.sin6_addr, &b.sin6_addr, sizeof a.sin6_addr) == 0 && a.sin6_port == b.sin6_port;
}

unsigned GCDAsyncUdpSocket::indexOfInterfaceAddr4(const Bytes& interfaceAddr4)
{
    return interfaceAddr4.size() == sizeof(sockaddr_in) ? socketaddress::interfaceIndexOf(interfaceAddr4) : 0;
}

unsigned GCDAsyncUdpSocket::indexOfInterfaceAddr6(const Bytes& interfaceAddr6)
{
    return interfaceAddr6.size() == sizeof(sockaddr_in6) ? socketaddress::interfaceIndexOf(interfaceAddr6) : 0;
}

// ---------------------------------------------------------------------------
// Caches and queries

void GCDAsyncUdpSocket::maybeUpdateCachedLocalAddressInfo(int af)
{
    Family& f = family(af);
    if (f.cachedLocalAddress || !(flags_ & kDidBind) || f.fd == -1)
        return;
    const socklen_t length = af == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    if (auto address = socketaddress::ofSocket(f.fd, false, length); address && familyFromAddress(*address) == af) {
        f.cachedLocalHost = hostFromAddress(*address);
        f.cachedLocalPort = portFromAddress(*address);
        f.cachedLocalAddress = std::move(address);
    }
}

void GCDAsyncUdpSocket::maybeUpdateCachedConnectedAddressInfo()
{
    if (cachedConnectedAddress_ || !(flags_ & kDidConnect))
        return;
    const int fd = f4_.fd != -1 ? f4_.fd : f6_.fd;
    std::optional<Bytes> address;
    if (fd != -1)
        address = socketaddress::ofSocket(fd, true, f4_.fd != -1 ? sizeof(sockaddr_in) : sizeof(sockaddr_in6));
    if (address && familyFromAddress(*address) != 0) {
        cachedConnectedHost_ = hostFromAddress(*address);
        cachedConnectedPort_ = portFromAddress(*address);
        cachedConnectedFamily_ = familyFromAddress(*address);
        cachedConnectedAddress_ = std::move(address);
    } else {
        cachedConnectedAddress_.reset();
        cachedConnectedHost_.reset();
        cachedConnectedPort_ = 0;
        cachedConnectedFamily_ = 0;
    }
}

std::optional<Bytes> GCDAsyncUdpSocket::cachedLocalAddress(int af) const
{
    // The caches fill lazily, so a query may write them.
    auto* self = const_cast<GCDAsyncUdpSocket*>(this);
    self->maybeUpdateCachedLocalAddressInfo(af);
    return self->family(af).cachedLocalAddress;
}

std::optional<Bytes> GCDAsyncUdpSocket::localAddress() const
{
    return syncGet<std::optional<Bytes>>([this] { return cachedLocalAddress(f4_.fd != -1 ? AF_INET : AF_INET6); });
}

std::optional<std::string> GCDAsyncUdpSocket::localHost() const
{
    const auto address = localAddress();
    return address ? hostFromAddress(*address) : std::nullopt;
}

uint16_t GCDAsyncUdpSocket::localPort() const
{
    const auto address = localAddress();
    return address ? portFromAddress(*address) : 0;
}

std::optional<Bytes> GCDAsyncUdpSocket::localAddress_IPv4() const
{
    return syncGet<std::optional<Bytes>>([this] { return cachedLocalAddress(AF_INET); });
}

std::optional<std::string> GCDAsyncUdpSocket::localHost_IPv4() const
{
    const auto address = localAddress_IPv4();
    return address ? hostFromAddress(*address) : std::nullopt;
}

uint16_t GCDAsyncUdpSocket::localPort_IPv4() const
{
    const auto address = localAddress_IPv4();
    return address ? portFromAddress(*address) : 0;
}

std::optional<Bytes> GCDAsyncUdpSocket::localAddress_IPv6() const
{
    return syncGet<std::optional<Bytes>>([this] { return cachedLocalAddress(AF_INET6); });
}

std::optional<std::string> GCDAsyncUdpSocket::localHost_IPv6() const
{
    const auto address = localAddress_IPv6();
    return address ? hostFromAddress(*address) : std::nullopt;
}

uint16_t GCDAsyncUdpSocket::localPort_IPv6() const
{
    const auto address = localAddress_IPv6();
    return address ? portFromAddress(*address) : 0;
}

std::optional<Bytes> GCDAsyncUdpSocket::connectedAddress() const
{
    return syncGet<std::optional<Bytes>>([this] {
        const_cast<GCDAsyncUdpSocket*>(this)->maybeUpdateCachedConnectedAddressInfo();
        return cachedConnectedAddress_;
    });
}

std::optional<std::string> GCDAsyncUdpSocket::connectedHost() const
{
    const auto address = connectedAddress();
    return address ? hostFromAddress(*address) : std::nullopt;
}

uint16_t GCDAsyncUdpSocket::connectedPort() const
{
    const auto address = connectedAddress();
    return address ? portFromAddress(*address) : 0;
}

bool GCDAsyncUdpSocket::isConnected() const
{
    return syncGet<bool>([this] { return (flags_ & kDidConnect) != 0; });
}

bool GCDAsyncUdpSocket::isClosed() const
{
    return syncGet<bool>([this] { return (flags_ & kDidCreateSockets) == 0; });
}

bool GCDAsyncUdpSocket::isIPv4() const
{
    return syncGet<bool>([this] {
        return (flags_ & kDidCreateSockets) ? f4_.fd != -1 : (config_ & kIPv4Disabled) == 0;
    });
}

bool GCDAsyncUdpSocket::isIPv6() const
{
    return syncGet<bool>([this] {
        return (flags_ & kDidCreateSockets) ? f6_.fd != -1 : (config_ & kIPv6Disabled) == 0;
    });
}

}  // namespace orv
