// GCDAsyncSocket: connection properties, socket-address conversions, host
// lookup and interface descriptions.
//
// Address data holds one system socket-address record (sockaddr_in or
// sockaddr_in6). Its family is read through the system structure, never by
// byte offset, since the layout differs between systems.
#include "core/sockets/GCDAsyncSocket.h"

#include <arpa/inet.h>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace orv {

namespace {

// The family of address data, or AF_UNSPEC when it is too short to tell.
int familyOf(const Bytes& address)
{
    if (address.size() < sizeof(sa_family_t))
        return AF_UNSPEC;
    sockaddr_storage storage{};
    std::memcpy(&storage, address.data(), std::min(address.size(), sizeof storage));
    return storage.ss_family;
}

template <typename SockAddr>
SockAddr recordOf(const Bytes& address)
{
    SockAddr record{};
    std::memcpy(&record, address.data(), std::min(address.size(), sizeof record));
    return record;
}

template <typename SockAddr>
Bytes bytesOf(const SockAddr& record)
{
    const auto* p = reinterpret_cast<const uint8_t*>(&record);
    return Bytes(p, p + sizeof record);
}

// The canonical printed form of an IPv6 address written in any valid form.
std::optional<std::string> canonicalIPv6(const std::string& text)
{
    in6_addr address{};
    if (inet_pton(AF_INET6, text.c_str(), &address) != 1)
        return std::nullopt;
    char printed[INET6_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET6, &address, printed, sizeof printed))
        return std::nullopt;
    return std::string(printed);
}

constexpr bool kPeerAddress = true;
constexpr bool kLocalAddress = false;

// The peer's or the socket's own address as data, at most `length` bytes of
// it (one family's record, or any).
std::optional<Bytes> addressOfSocket(int socketFD, bool peer, socklen_t length = sizeof(sockaddr_storage))
{
    sockaddr_storage storage{};
    auto* record = reinterpret_cast<sockaddr*>(&storage);
    if ((peer ? getpeername(socketFD, record, &length) : getsockname(socketFD, record, &length)) < 0)
        return std::nullopt;
    const auto* p = reinterpret_cast<const uint8_t*>(&storage);
    return Bytes(p, p + std::min<size_t>(length, sizeof storage));
}

Bytes loopback4(uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return bytesOf(a);
}

Bytes loopback6(uint16_t port)
{
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_port = htons(port);
    a.sin6_addr = in6addr_loopback;
    return bytesOf(a);
}

}  // namespace

// ---------------------------------------------------------------------------
// Conversions

std::string GCDAsyncSocket::hostFromSockaddr4(const void* sockaddr4)
{
    sockaddr_in a{};
    std::memcpy(&a, sockaddr4, sizeof a);
    char text[INET_ADDRSTRLEN];
    if (!inet_ntop(AF_INET, &a.sin_addr, text, sizeof text))
        return {};
    return text;
}

std::string GCDAsyncSocket::hostFromSockaddr6(const void* sockaddr6)
{
    sockaddr_in6 a{};
    std::memcpy(&a, sockaddr6, sizeof a);
    char text[INET6_ADDRSTRLEN];
    if (!inet_ntop(AF_INET6, &a.sin6_addr, text, sizeof text))
        return {};
    return text;
}

uint16_t GCDAsyncSocket::portFromSockaddr4(const void* sockaddr4)
{
    sockaddr_in a{};
    std::memcpy(&a, sockaddr4, sizeof a);
    return ntohs(a.sin_port);
}

uint16_t GCDAsyncSocket::portFromSockaddr6(const void* sockaddr6)
{
    sockaddr_in6 a{};
    std::memcpy(&a, sockaddr6, sizeof a);
    return ntohs(a.sin6_port);
}

bool GCDAsyncSocket::isIPv4Address(const Bytes& address)
{
    return address.size() >= sizeof(sockaddr_in) && familyOf(address) == AF_INET;
}

bool GCDAsyncSocket::isIPv6Address(const Bytes& address)
{
    return address.size() >= sizeof(sockaddr_in) && familyOf(address) == AF_INET6;
}

bool GCDAsyncSocket::getHost(std::string* hostPtr, uint16_t* portPtr, int* familyPtr, const Bytes& address)
{
    const int family = familyOf(address);
    if (family == AF_INET && address.size() >= sizeof(sockaddr_in)) {
        const auto a = recordOf<sockaddr_in>(address);
        if (hostPtr)
            *hostPtr = hostFromSockaddr4(&a);
        if (portPtr)
            *portPtr = portFromSockaddr4(&a);
        if (familyPtr)
            *familyPtr = AF_INET;
        return true;
    }
    if (family == AF_INET6 && address.size() >= sizeof(sockaddr_in6)) {
        const auto a = recordOf<sockaddr_in6>(address);
        if (hostPtr)
            *hostPtr = hostFromSockaddr6(&a);
        if (portPtr)
            *portPtr = portFromSockaddr6(&a);
        if (familyPtr)
            *familyPtr = AF_INET6;
        return true;
    }
    return false;
}

bool GCDAsyncSocket::getHost(std::string* hostPtr, uint16_t* portPtr, const Bytes& address)
{
    return getHost(hostPtr, portPtr, nullptr, address);
}

std::optional<std::string> GCDAsyncSocket::hostFromAddress(const Bytes& address)
{
    std::string host;
    if (!getHost(&host, nullptr, nullptr, address))
        return std::nullopt;
    return host;
}

uint16_t GCDAsyncSocket::portFromAddress(const Bytes& address)
{
    uint16_t port = 0;
    if (!getHost(nullptr, &port, nullptr, address))
        return 0;
    return port;
}

Bytes GCDAsyncSocket::CRLFData()
{
    return Bytes{'\r', '\n'};
}

Bytes GCDAsyncSocket::CRData()
{
    return Bytes{'\r'};
}

Bytes GCDAsyncSocket::LFData()
{
    return Bytes{'\n'};
}

Bytes GCDAsyncSocket::ZeroData()
{
    return Bytes{0};
}

// ---------------------------------------------------------------------------
// Host lookup and interfaces

std::optional<std::vector<Bytes>> GCDAsyncSocket::lookupHost(const std::string& host, uint16_t port, Error* errPtr)
{
    std::vector<Bytes> addresses;
    if (host == "localhost" || host == "loopback") {
        addresses.push_back(loopback4(port));
        addresses.push_back(loopback6(port));
        return addresses;
    }

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* res0 = nullptr;
    const std::string service = std::to_string(port);
    const int gaiCode = getaddrinfo(host.c_str(), service.c_str(), &hints, &res0);
    if (gaiCode != 0) {
        if (errPtr)
            *errPtr = gaiError(gaiCode);
        return std::nullopt;
    }
    for (addrinfo* res = res0; res; res = res->ai_next) {
        if (res->ai_family == AF_INET || res->ai_family == AF_INET6) {
            const auto* p = reinterpret_cast<const uint8_t*>(res->ai_addr);
            addresses.emplace_back(p, p + res->ai_addrlen);
        }
    }
    freeaddrinfo(res0);
    if (addresses.empty()) {
        if (errPtr)
            *errPtr = gaiError(EAI_FAIL);
        return std::nullopt;
    }
    return addresses;
}

void GCDAsyncSocket::getInterfaceAddress4(std::optional<Bytes>* interfaceAddr4Ptr,
                                          std::optional<Bytes>* interfaceAddr6Ptr,
                                          const std::string& interfaceDescription, uint16_t port)
{
    std::optional<Bytes> addr4;
    std::optional<Bytes> addr6;

    // "name:port" - the port part counts only when no port was given. An IPv6
    // address has colons of its own, so it is taken whole, or in brackets
    // when a port part follows ("[::1]:8080"); split at its first colon it
    // would name no interface, which means every interface.
    std::string interface = interfaceDescription;
    std::optional<std::string> portText;
    const auto close = interfaceDescription.find(']');
    if (auto whole = canonicalIPv6(interfaceDescription)) {
        interface = *whole;
    } else if (interfaceDescription.starts_with('[') && close != std::string::npos) {
        interface = interfaceDescription.substr(1, close - 1);
        if (auto inBrackets = canonicalIPv6(interface))
            interface = *inBrackets;
        if (close + 1 < interfaceDescription.size() && interfaceDescription[close + 1] == ':')
            portText = interfaceDescription.substr(close + 2);
    } else if (const auto colon = interfaceDescription.find(':'); colon != std::string::npos) {
        interface = interfaceDescription.substr(0, colon);
        portText = interfaceDescription.substr(colon + 1);
    }
    if (portText && port == 0) {
        const auto end = portText->find(':');
        const long portValue = std::strtol(portText->substr(0, end).c_str(), nullptr, 10);
        port = portValue > 0 && portValue <= 0xFFFF ? static_cast<uint16_t>(portValue) : 0;
    }

    if (interface.empty()) {
        sockaddr_in any4{};
        any4.sin_family = AF_INET;
        any4.sin_port = htons(port);
        any4.sin_addr.s_addr = htonl(INADDR_ANY);
        sockaddr_in6 any6{};
        any6.sin6_family = AF_INET6;
        any6.sin6_port = htons(port);
        any6.sin6_addr = in6addr_any;
        addr4 = bytesOf(any4);
        addr6 = bytesOf(any6);
    } else if (interface == "localhost" || interface == "loopback") {
        addr4 = loopback4(port);
        addr6 = loopback6(port);
    } else {
        ifaddrs* addrs = nullptr;
        if (getifaddrs(&addrs) == 0) {
            for (ifaddrs* cursor = addrs; cursor; cursor = cursor->ifa_next) {
                if (!cursor->ifa_addr)
                    continue;
                const int family = cursor->ifa_addr->sa_family;
                if (!addr4 && family == AF_INET) {
                    sockaddr_in a{};
                    std::memcpy(&a, cursor->ifa_addr, sizeof a);
                    if (interface == cursor->ifa_name || interface == hostFromSockaddr4(&a)) {
                        a.sin_port = htons(port);
                        addr4 = bytesOf(a);
                    }
                } else if (!addr6 && family == AF_INET6) {
                    sockaddr_in6 a{};
                    std::memcpy(&a, cursor->ifa_addr, sizeof a);
                    if (interface == cursor->ifa_name || interface == hostFromSockaddr6(&a)) {
                        a.sin6_port = htons(port);
                        addr6 = bytesOf(a);
                    }
                }
            }
            freeifaddrs(addrs);
        }
    }

    if (interfaceAddr4Ptr)
        *interfaceAddr4Ptr = std::move(addr4);
    if (interfaceAddr6Ptr)
        *interfaceAddr6Ptr = std::move(addr6);
}

// ---------------------------------------------------------------------------
// Connection properties

std::optional<std::string> GCDAsyncSocket::connectedHostFromSocket(int socketFD)
{
    const auto address = addressOfSocket(socketFD, kPeerAddress);
    return address ? hostFromAddress(*address) : std::nullopt;
}

uint16_t GCDAsyncSocket::connectedPortFromSocket(int socketFD)
{
    const auto address = addressOfSocket(socketFD, kPeerAddress);
    return address ? portFromAddress(*address) : 0;
}

std::optional<std::string> GCDAsyncSocket::localHostFromSocket(int socketFD)
{
    const auto address = addressOfSocket(socketFD, kLocalAddress);
    return address ? hostFromAddress(*address) : std::nullopt;
}

uint16_t GCDAsyncSocket::localPortFromSocket(int socketFD)
{
    const auto address = addressOfSocket(socketFD, kLocalAddress);
    return address ? portFromAddress(*address) : 0;
}

std::optional<Bytes> GCDAsyncSocket::openSocketAddress(bool peer) const
{
    std::optional<Bytes> result;
    syncOnSocketQueue([&] {
        if (const int fd = openSocketFD(); fd != -1)
            result = addressOfSocket(fd, peer, socket4FD_ != -1 ? sizeof(sockaddr_in) : sizeof(sockaddr_in6));
    });
    return result;
}

std::optional<std::string> GCDAsyncSocket::connectedHost() const
{
    const auto address = openSocketAddress(kPeerAddress);
    return address ? hostFromAddress(*address) : std::nullopt;
}

uint16_t GCDAsyncSocket::connectedPort() const
{
    const auto address = openSocketAddress(kPeerAddress);
    return address ? portFromAddress(*address) : 0;
}

std::optional<std::string> GCDAsyncSocket::localHost() const
{
    const auto address = openSocketAddress(kLocalAddress);
    return address ? hostFromAddress(*address) : std::nullopt;
}

uint16_t GCDAsyncSocket::localPort() const
{
    const auto address = openSocketAddress(kLocalAddress);
    return address ? portFromAddress(*address) : 0;
}

std::optional<Bytes> GCDAsyncSocket::connectedAddress() const
{
    return openSocketAddress(kPeerAddress);
}

std::optional<Bytes> GCDAsyncSocket::localAddress() const
{
    return openSocketAddress(kLocalAddress);
}

std::optional<std::string> GCDAsyncSocket::connectedHostFromSocket4(int socketFD)
{
    return connectedHostFromSocket(socketFD);
}

std::optional<std::string> GCDAsyncSocket::connectedHostFromSocket6(int socketFD)
{
    return connectedHostFromSocket(socketFD);
}

uint16_t GCDAsyncSocket::connectedPortFromSocket4(int socketFD)
{
    return connectedPortFromSocket(socketFD);
}

uint16_t GCDAsyncSocket::connectedPortFromSocket6(int socketFD)
{
    return connectedPortFromSocket(socketFD);
}

std::optional<std::string> GCDAsyncSocket::localHostFromSocket4(int socketFD)
{
    return localHostFromSocket(socketFD);
}

std::optional<std::string> GCDAsyncSocket::localHostFromSocket6(int socketFD)
{
    return localHostFromSocket(socketFD);
}

uint16_t GCDAsyncSocket::localPortFromSocket4(int socketFD)
{
    return localPortFromSocket(socketFD);
}

uint16_t GCDAsyncSocket::localPortFromSocket6(int socketFD)
{
    return localPortFromSocket(socketFD);
}

std::optional<std::string> GCDAsyncSocket::connectedHost4() const
{
    return isOnSocketQueue() && socket4FD_ != -1 ? connectedHostFromSocket(socket4FD_) : std::nullopt;
}

std::optional<std::string> GCDAsyncSocket::connectedHost6() const
{
    return isOnSocketQueue() && socket6FD_ != -1 ? connectedHostFromSocket(socket6FD_) : std::nullopt;
}

uint16_t GCDAsyncSocket::connectedPort4() const
{
    return isOnSocketQueue() && socket4FD_ != -1 ? connectedPortFromSocket(socket4FD_) : 0;
}

uint16_t GCDAsyncSocket::connectedPort6() const
{
    return isOnSocketQueue() && socket6FD_ != -1 ? connectedPortFromSocket(socket6FD_) : 0;
}

std::optional<std::string> GCDAsyncSocket::localHost4() const
{
    return isOnSocketQueue() && socket4FD_ != -1 ? localHostFromSocket(socket4FD_) : std::nullopt;
}

std::optional<std::string> GCDAsyncSocket::localHost6() const
{
    return isOnSocketQueue() && socket6FD_ != -1 ? localHostFromSocket(socket6FD_) : std::nullopt;
}

uint16_t GCDAsyncSocket::localPort4() const
{
    return isOnSocketQueue() && socket4FD_ != -1 ? localPortFromSocket(socket4FD_) : 0;
}

uint16_t GCDAsyncSocket::localPort6() const
{
    return isOnSocketQueue() && socket6FD_ != -1 ? localPortFromSocket(socket6FD_) : 0;
}

bool GCDAsyncSocket::isIPv4() const
{
    bool result = false;
    syncOnSocketQueue([&] { result = socket4FD_ != -1; });
    return result;
}

bool GCDAsyncSocket::isIPv6() const
{
    bool result = false;
    syncOnSocketQueue([&] { result = socket6FD_ != -1; });
    return result;
}

}  // namespace orv
