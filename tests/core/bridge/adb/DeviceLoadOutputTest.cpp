// Readings of adb and phone-tool output for the device load, including
// serials that begin other serials or hold pattern characters.

#include <gtest/gtest.h>

#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/bridge/adb/DeviceLoadOutput.h"

namespace orv::test {
namespace {

TEST(DeviceLoadOutput, TheSerialIsMatchedAsAWholeField)
{
    const std::string list = "List of devices attached\n"
                             "ABC123\toffline\n"
                             "ABC\tunauthorized\n"
                             "A.C+\tdevice\n"
                             "ABC\tdevice\n"
                             "List\tdevice\n"
                             "\n";
    struct Case {
        const char* serial;
        std::optional<std::string> state;
    };
    for (const auto& c : std::vector<Case>{{"ABC", "unauthorized"},  // its first line decides
                                           {"ABC123", "offline"},
                                           {"A.C+", "device"},
                                           {"List", "device"},  // not the heading
                                           {"AB", std::nullopt},
                                           {"A.C", std::nullopt},
                                           {"", std::nullopt}}) {
        SCOPED_TRACE(c.serial);
        EXPECT_EQ(deviceStateInList(list, c.serial), c.state);
    }
    EXPECT_EQ(adbStatusForState("unauthorized"), 1);
    EXPECT_EQ(adbStatusForState("device"), 2);
    EXPECT_EQ(adbStatusForState("offline"), 3);
    EXPECT_EQ(adbStatusForState("recovery"), 4);

    const std::string forwards = "ABC123 tcp:12000 tcp:10086\n"
                                 "ABC tcp:12001 tcp:10086\n"
                                 "ABC tcp:12002 tcp:5037\n"
                                 "XABC tcp:12003 tcp:10086\n"
                                 "ABC tcp:12004 tcp:10086\n";
    EXPECT_EQ(forwardedCompanionPorts(forwards, "ABC"), (std::vector<uint16_t>{12001, 12004}));
    EXPECT_EQ(forwardedLocalPorts(forwards), (std::set<uint16_t>{12000, 12001, 12002, 12003, 12004}));
}

TEST(DeviceLoadOutput, BatteryStorageAndCompanionVersion)
{
    EXPECT_EQ(batteryLevelFromOutput("  AC powered: false\n  level: 85\n  scale: 100\n"), 85);
    EXPECT_EQ(batteryLevelFromOutput("  scale: 100\n"), std::nullopt);

    const std::string root = "/storage/emulated/legacy/";
    auto space = diskSpaceFromOutput("Filesystem Size Used Free Blksize\n" + root + "   12.5G   3.2G  9.3G  4096\n", root);
    ASSERT_TRUE(space);
    EXPECT_EQ(space->total, 12'500'000);
    EXPECT_EQ(space->free, 9'300'000);
    space = diskSpaceFromOutput(root + " 2048M 1024M 1024M 4096\n", root);
    ASSERT_TRUE(space);
    EXPECT_EQ(space->total, 2'048'000);
    EXPECT_EQ(space->free, 1'024'000);
    space = diskSpaceFromOutput(root + " 1T 500 1T\n", root);
    ASSERT_TRUE(space);
    EXPECT_EQ(space->total, 1'000'000'000);
    EXPECT_EQ(space->free, 999'999'500);
    EXPECT_FALSE(diskSpaceFromOutput(root + " 2048M 1024M\n", root));
    // Figures no phone prints still give a figure, never an overflowing cast.
    struct Huge {
        std::string line;
        int64_t total, free;
    };
    for (const auto& c : {Huge{" 1e300T 1G 1G", INT64_MAX, INT64_MAX - 1'000'000},
                          Huge{" inf nan 1G", INT64_MAX, INT64_MAX}, Huge{" nan inf 1G", 0, -INT64_MAX},
                          Huge{" -inf 1M 1G", 0, -1000}, Huge{" 99999999999999999999999G 0 0", INT64_MAX, INT64_MAX}}) {
        space = diskSpaceFromOutput(root + c.line + "\n", root);
        ASSERT_TRUE(space) << c.line;
        EXPECT_EQ(space->total, c.total) << c.line;
        EXPECT_EQ(space->free, c.free) << c.line;
    }
    EXPECT_FALSE(diskSpaceFromOutput("/data 1G 1G 1G\n", root));

    EXPECT_EQ(companionInstallFromOutput("", 15), CompanionInstall::Missing);
    EXPECT_EQ(companionInstallFromOutput("Unable to find package\n", 15), CompanionInstall::Missing);
    EXPECT_EQ(companionInstallFromOutput("    versionCode=14 targetSdk=19\n", 15), CompanionInstall::Outdated);
    EXPECT_EQ(companionInstallFromOutput("    versionCode=15 targetSdk=19\n", 15), CompanionInstall::Current);
}

TEST(DeviceLoadOutput, APortThatIsForwardedOrBoundIsDrawnAgain)
{
    std::vector<uint16_t> draws = {12000, 12001, 12002, 12003};
    size_t next = 0;
    auto draw = [&] { return draws[next++]; };
    auto port = chooseForwardPort({12000}, draw, [](uint16_t p) { return p != 12001; });
    EXPECT_EQ(port, 12002);
    EXPECT_EQ(next, 3u);

    // A listener really holding the port is noticed.
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(fd, 1), 0);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    EXPECT_FALSE(isLocalPortFree(ntohs(address.sin_port)));
    ::close(fd);
}

}  // namespace
}  // namespace orv::test
