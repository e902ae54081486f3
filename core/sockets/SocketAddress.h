#pragma once
// Socket addresses as the socket classes hand them around: byte vectors that
// hold one system record (sockaddr_in, 16 bytes, or sockaddr_in6, 28 bytes),
// ports in host byte order. The family is always read through the system
// structure, never by byte offset, since the layout differs between systems.

#include "core/sockets/SocketData.h"

#include <cstdint>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <vector>

namespace orv::socketaddress {

// The family stored in the record, or AF_UNSPEC when it is too short to tell.
int familyOf(const Bytes& address);
// True for a whole record of that family.
bool isWhole4(const Bytes& address);
bool isWhole6(const Bytes& address);

// Printed host (empty when it cannot be printed) and port of a record in memory.
std::string hostFromSockaddr4(const void* sockaddr4);
std::string hostFromSockaddr6(const void* sockaddr6);
uint16_t portFromSockaddr4(const void* sockaddr4);
uint16_t portFromSockaddr6(const void* sockaddr6);

// Host, port and family of a whole IPv4 or IPv6 record; false (outputs
// untouched) for anything else.
bool read(const Bytes& address, std::string* host, uint16_t* port, int* family);

Bytes loopback4(uint16_t port);
Bytes loopback6(uint16_t port);
Bytes any4(uint16_t port);
Bytes any6(uint16_t port);
// The same record with another port; unchanged when it is not a whole record.
Bytes withPort(Bytes address, uint16_t port);

// The printed canonical form of IPv6 address text, nothing when it is not one.
std::optional<std::string> canonicalIPv6(const std::string& text);

// The peer's or the socket's own address, at most `length` bytes of it.
std::optional<Bytes> ofSocket(int socketFD, bool peer, socklen_t length = sizeof(sockaddr_storage));

// Resolves a host: "localhost" and "loopback" give the IPv4 then the IPv6
// loopback without asking the resolver; otherwise every IPv4 and IPv6 answer
// in the resolver's order. Returns 0, or the resolver's code (EAI_FAIL when
// it answered only other families). `flags` go to the resolver's hints.
int lookup(const std::string& host, uint16_t port, int socketType, int protocol, int flags,
           std::vector<Bytes>* addresses);

// The first IPv4 and the first IPv6 address of the interface named
// `interface`, or whose printed address is `interface`, with `port` put in.
// Either stays empty when there is none.
void findInterface(const std::string& interface, uint16_t port, std::optional<Bytes>* address4,
                   std::optional<Bytes>* address6);

// The system index of the interface that holds this (whole) address; 0 for none.
unsigned interfaceIndexOf(const Bytes& address);

}  // namespace orv::socketaddress
