#include "usbwatch/UsbLocationId.h"

namespace orv::usb {

namespace {
constexpr std::size_t kMaxTiers = 6;
constexpr uint32_t kHashMask = 0x000FFFFF;
}  // namespace

uint32_t encodeLocationId(uint8_t bus, std::span<const uint8_t> ports) {
    const uint32_t busBits = uint32_t{bus} << 24;
    bool fits = ports.size() <= kMaxTiers;
    for (uint8_t port : ports) fits = fits && port >= 1 && port <= 15;
    if (fits) {
        uint32_t path = 0;
        int shift = 20;
        for (uint8_t port : ports) {
            path |= uint32_t{port} << shift;
            shift -= 4;
        }
        return busBits | path;
    }
    // FNV-1a over the depth and every port number, folded to 20 bits.
    uint32_t hash = 2166136261u;
    auto mix = [&hash](uint8_t byte) {
        hash ^= byte;
        hash *= 16777619u;
    };
    mix(static_cast<uint8_t>(ports.size()));
    for (uint8_t port : ports) mix(port);
    uint32_t folded = (hash ^ (hash >> 20)) & kHashMask;
    if (folded == 0) folded = 1;
    return busBits | folded;
}

bool isHashedLocationId(uint32_t locationId) {
    return (locationId & 0x00F00000) == 0 && (locationId & kHashMask) != 0;
}

}  // namespace orv::usb
