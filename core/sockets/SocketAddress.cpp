#include "core/sockets/SocketAddress.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>

namespace orv::socketaddress {

namespace {

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

}  // namespace

int familyOf(const Bytes& address)
{
    if (address.size() < sizeof(sa_family_t))
        return AF_UNSPEC;
    sockaddr_storage storage{};
    std::memcpy(&storage, address.data(), std::min(address.size(), sizeof storage));
    return storage.ss_family;
}

bool isWhole4(const Bytes& address)
{
    return familyOf(address) == AF_INET && address.size() >= sizeof(sockaddr_in);
}

bool isWhole6(const Bytes& address)
{
    return familyOf(address) == AF_INET6 && address.size() >= sizeof(sockaddr_in6);
}

std::string hostFromSockaddr4(const void* sockaddr4)
{
    sockaddr_in a{};
    std::memcpy(&a, sockaddr4, sizeof a);
    char text[INET_ADDRSTRLEN];
    if (!inet_ntop(AF_INET, &a.sin_addr, text, sizeof text))
        return {};
    return text;
}

std::string hostFromSockaddr6(const void* sockaddr6)
{
    sockaddr_in6 a{};
    std::memcpy(&a, sockaddr6, sizeof a);
    char text[INET6_ADDRSTRLEN];
    if (!inet_ntop(AF_INET6, &a.sin6_addr, text, sizeof text))
        return {};
    return text;
}

uint16_t portFromSockaddr4(const void* sockaddr4)
{
    sockaddr_in a{};
    std::memcpy(&a, sockaddr4, sizeof a);
    return ntohs(a.sin_port);
}

uint16_t portFromSockaddr6(const void* sockaddr6)
{
    sockaddr_in6 a{};
    std::memcpy(&a, sockaddr6, sizeof a);
    return ntohs(a.sin6_port);
}

bool read(const Bytes& address, std::string* host, uint16_t* port, int* family)
{
    if (isWhole4(address)) {
        const auto a = recordOf<sockaddr_in>(address);
        if (host)
            *host = hostFromSockaddr4(&a);
        if (port)
            *port = portFromSockaddr4(&a);
        if (family)
            *family = AF_INET;
        return true;
    }
    if (isWhole6(address)) {
        const auto a = recordOf<sockaddr_in6>(address);
        if (host)
            *host = hostFromSockaddr6(&a);
        if (port)
            *port = portFromSockaddr6(&a);
        if (family)
            *family = AF_INET6;
        return true;
    }
    return false;
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

Bytes any4(uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    return bytesOf(a);
}

Bytes any6(uint16_t port)
{
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_port = htons(port);
    a.sin6_addr = in6addr_any;
    return bytesOf(a);
}

Bytes withPort(Bytes address, uint16_t port)
{
    if (isWhole4(address)) {
        auto a = recordOf<sockaddr_in>(address);
        a.sin_port = htons(port);
        std::memcpy(address.data(), &a, sizeof a);
    } else if (isWhole6(address)) {
        auto a = recordOf<sockaddr_in6>(address);
        a.sin6_port = htons(port);
        std::memcpy(address.data(), &a, sizeof a);
    }
    return address;
}

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

std::optional<Bytes> ofSocket(int socketFD, bool peer, socklen_t length)
{
    sockaddr_storage storage{};
    length = std::min<socklen_t>(length, sizeof storage);
    auto* record = reinterpret_cast<sockaddr*>(&storage);
    if ((peer ? getpeername(socketFD, record, &length) : getsockname(socketFD, record, &length)) < 0)
        return std::nullopt;
    const auto* p = reinterpret_cast<const uint8_t*>(&storage);
    return Bytes(p, p + std::min<size_t>(length, sizeof storage));
}

int lookup(const std::string& host, uint16_t port, int socketType, int protocol, int flags,
           std::vector<Bytes>* addresses)
{
    addresses->clear();
    if (host == "localhost" || host == "loopback") {
        addresses->push_back(loopback4(port));
        addresses->push_back(loopback6(port));
        return 0;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = socketType;
    hints.ai_protocol = protocol;
    hints.ai_flags = flags;
    addrinfo* res0 = nullptr;
    const std::string service = std::to_string(port);
    if (const int code = getaddrinfo(host.c_str(), service.c_str(), &hints, &res0); code != 0)
        return code;
    for (addrinfo* res = res0; res; res = res->ai_next) {
        if (res->ai_family == AF_INET || res->ai_family == AF_INET6) {
            const auto* p = reinterpret_cast<const uint8_t*>(res->ai_addr);
            addresses->emplace_back(p, p + res->ai_addrlen);
        }
    }
    freeaddrinfo(res0);
    return addresses->empty() ? EAI_FAIL : 0;
}

void findInterface(const std::string& interface, uint16_t port, std::optional<Bytes>* address4,
                   std::optional<Bytes>* address6)
{
    std::optional<Bytes> found4;
    std::optional<Bytes> found6;
    // Any spelling of an IPv6 address matches its printed form.
    const std::string wanted = canonicalIPv6(interface).value_or(interface);
    ifaddrs* addrs = nullptr;
    if (getifaddrs(&addrs) == 0) {
        for (ifaddrs* cursor = addrs; cursor; cursor = cursor->ifa_next) {
            if (!cursor->ifa_addr)
                continue;
            const int family = cursor->ifa_addr->sa_family;
            if (!found4 && family == AF_INET) {
                sockaddr_in a{};
                std::memcpy(&a, cursor->ifa_addr, sizeof a);
                if (wanted == cursor->ifa_name || wanted == hostFromSockaddr4(&a)) {
                    a.sin_port = htons(port);
                    found4 = bytesOf(a);
                }
            } else if (!found6 && family == AF_INET6) {
                sockaddr_in6 a{};
                std::memcpy(&a, cursor->ifa_addr, sizeof a);
                if (wanted == cursor->ifa_name || wanted == hostFromSockaddr6(&a)) {
                    a.sin6_port = htons(port);
                    found6 = bytesOf(a);
                }
            }
        }
        freeifaddrs(addrs);
    }
    if (address4)
        *address4 = std::move(found4);
    if (address6)
        *address6 = std::move(found6);
}

unsigned interfaceIndexOf(const Bytes& address)
{
    const bool is4 = familyOf(address) == AF_INET && address.size() == sizeof(sockaddr_in);
    const bool is6 = familyOf(address) == AF_INET6 && address.size() == sizeof(sockaddr_in6);
    if (!is4 && !is6)
        return 0;
    unsigned index = 0;
    ifaddrs* addrs = nullptr;
    if (getifaddrs(&addrs) != 0)
        return 0;
    for (ifaddrs* cursor = addrs; cursor && index == 0; cursor = cursor->ifa_next) {
        if (!cursor->ifa_addr)
            continue;
        if (is4 && cursor->ifa_addr->sa_family == AF_INET) {
            sockaddr_in a{};
            std::memcpy(&a, cursor->ifa_addr, sizeof a);
            const auto wanted = recordOf<sockaddr_in>(address);
            if (a.sin_addr.s_addr == wanted.sin_addr.s_addr)
                index = if_nametoindex(cursor->ifa_name);
        } else if (is6 && cursor->ifa_addr->sa_family == AF_INET6) {
            sockaddr_in6 a{};
            std::memcpy(&a, cursor->ifa_addr, sizeof a);
            const auto wanted = recordOf<sockaddr_in6>(address);
            if (std::memcmp(&a.sin6_addr, &wanted.sin6_addr, sizeof a.sin6_addr) == 0)
                index = if_nametoindex(cursor->ifa_name);
        }
    }
    freeifaddrs(addrs);
    return index;
}

}  // namespace orv::socketaddress
