#pragma once
// The location id: a 32-bit key that stays the same for one physical port
// while devices come and go, and is what windows, launches and removals are
// paired by.
//
// Encoding:
//   bits 24-31  the bus number (so busLocation() is the top byte)
//   bits  0-23  the port path from the root hub, one 4-bit port number per
//               hub tier, first tier in bits 20-23, unused tiers zero:
//               bus 1, ports [2]    -> 0x01200000
//               bus 20, ports [1,4] -> 0x14140000
// A path that does not fit (a port number of 0 or above 15, or more than six
// tiers) is stored as a 20-bit hash of the full path in bits 0-19 with the
// first-tier nibble left 0. A fitting path never has a zero first tier with
// later bits set, so the two forms cannot meet; the hash is never zero, so
// the root hub (no ports, low 24 bits zero) stays apart too.

#include <cstdint>
#include <span>

namespace orv::usb {

uint32_t encodeLocationId(uint8_t bus, std::span<const uint8_t> ports);

// True for a location id whose port path had to be hashed.
bool isHashedLocationId(uint32_t locationId);

}  // namespace orv::usb
