#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "usbwatch/OVUSBDevice.h"
#include "usbwatch/UsbLocationId.h"

namespace orv::usb {
namespace {

TEST(UsbLocationId, EncodesBusAndPortPath) {
    struct Case {
        uint8_t bus;
        std::vector<uint8_t> ports;
        uint32_t expected;
    };
    const Case cases[] = {
        {1, {2}, 0x01200000},
        {20, {1, 4}, 0x14140000},
        {3, {15, 15, 15, 15, 15, 15}, 0x03FFFFFF},
        {2, {1, 2, 3, 4, 5, 6}, 0x02123456},
        {255, {9}, 0xFF900000},
        {1, {}, 0x01000000},  // the root hub itself
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.ports));
        EXPECT_EQ(encodeLocationId(c.bus, c.ports), c.expected);
        EXPECT_FALSE(isHashedLocationId(c.expected));
    }
}

TEST(UsbLocationId, PathsThatDoNotFitAreHashedApartFromEveryNibblePath) {
    const std::vector<std::vector<uint8_t>> unfit = {
        {16}, {1, 16}, {0}, {2, 0, 1}, {1, 2, 3, 4, 5, 6, 7}, {200, 3}, {3, 200},
    };
    std::set<uint32_t> seen;
    for (const auto& ports : unfit) {
        SCOPED_TRACE(::testing::PrintToString(ports));
        const uint32_t id = encodeLocationId(3, ports);
        EXPECT_EQ(id >> 24, 3u) << "the bus stays in the top byte";
        EXPECT_TRUE(isHashedLocationId(id));
        EXPECT_EQ(id, encodeLocationId(3, ports)) << "stable";
        EXPECT_TRUE(seen.insert(id).second) << "distinct paths, distinct ids";
    }
}

TEST(UsbLocationId, BusLocationIsTheTopByte) {
    OVUSBDevice device(0x14140000);
    EXPECT_EQ(device.busLocation(), 20);
    OVUSBDevice high(int64_t{0xFF900000});
    EXPECT_EQ(high.locationId(), 0xFF900000) << "zero-extended, never negative";
    EXPECT_EQ(high.busLocation(), 255);
}

}  // namespace
}  // namespace orv::usb
