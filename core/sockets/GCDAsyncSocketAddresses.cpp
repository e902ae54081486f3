// GCDAsyncSocket: connection properties, socket-address conversions, host
// lookup and interface descriptions, over the shared address helpers.
#include "core/sockets/GCDAsyncSocket.h"

#include "core/sockets/SocketAddress.h"

#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>

namespace orv {

namespace {

constexpr bool kPeerAddress = true;
constexpr bool kLocalAddress = false;

}  // namespace

// ---------------------------------------------------------------------------
// Conversions

std::string GCDAsyncSocket::hostFromSockaddr4(const void* sockaddr4)
{
    return socketaddress::hostFromSockaddr4(sockaddr4);
}

std::string GCDAsyncSocket::hostFromSockaddr6(const void* sockaddr6)
{
    return socketaddress::hostFromSockaddr6(sockaddr6);
}

uint16_t GCDAsyncSocket::portFromSockaddr4(const void* sockaddr4)
{
    return socketaddress::portFromSockaddr4(sockaddr4);
}

uint16_t GCDAsyncSocket::portFromSockaddr6(const void* sockaddr6)
{
    return socketaddress::portFromSockaddr6(sockaddr6);
}

bool GCDAsyncSocket::isIPv4Address(const Bytes& address)
{
    return address.size() >= sizeof(sockaddr_in) && socketaddress::familyOf(address) == AF_INET;
}

bool GCDAsyncSocket::isIPv6Address(const Bytes& address)
{
    return address.size() >= sizeof(sockaddr_in) && socketaddress::familyOf(address) == AF_INET6;
}

bool GCDAsyncSocket::getHost(std::string* hostPtr, uint16_t* portPtr, int* familyPtr, const Bytes& address)
{
    return socketaddress::read(address, hostPtr, portPtr, familyPtr);
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
    if (const int gaiCode = socketaddress::lookup(host, port, SOCK_STREAM, IPPROTO_TCP, 0, &addresses); gaiCode != 0) {
        if (errPtr)
            *errPtr = gaiError(gaiCode);
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
    if (auto whole = socketaddress::canonicalIPv6(interfaceDescription)) {
        interface = *whole;
    } else if (interfaceDescription.starts_with('[') && close != std::string::npos) {
        interface = interfaceDescription.substr(1, close - 1);
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
        addr4 = socketaddress::any4(port);
        addr6 = socketaddress::any6(port);
    } else if (interface == "localhost" || interface == "loopback") {
        addr4 = socketaddress::loopback4(port);
        addr6 = socketaddress::loopback6(port);
    } else {
        socketaddress::findInterface(interface, port, &addr4, &addr6);
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
    const auto address = socketaddress::ofSocket(socketFD, kPeerAddress);
    return address ? hostFromAddress(*address) : std::nullopt;
}

uint16_t GCDAsyncSocket::connectedPortFromSocket(int socketFD)
{
    const auto address = socketaddress::ofSocket(socketFD, kPeerAddress);
    return address ? portFromAddress(*address) : 0;
}

std::optional<std::string> GCDAsyncSocket::localHostFromSocket(int socketFD)
{
    const auto address = socketaddress::ofSocket(socketFD, kLocalAddress);
    return address ? hostFromAddress(*address) : std::nullopt;
}

uint16_t GCDAsyncSocket::localPortFromSocket(int socketFD)
{
    const auto address = socketaddress::ofSocket(socketFD, kLocalAddress);
    return address ? portFromAddress(*address) : 0;
}

std::optional<Bytes> GCDAsyncSocket::openSocketAddress(bool peer) const
{
    std::optional<Bytes> result;
    syncOnSocketQueue([&] {
        if (const int fd = openSocketFD(); fd != -1)
            result = socketaddress::ofSocket(fd, peer, socket4FD_ != -1 ? sizeof(sockaddr_in) : sizeof(sockaddr_in6));
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
