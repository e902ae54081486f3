// The real backend against devices emulated by umockdev: run under
// umockdev-wrapper, which redirects sysfs, /dev and udev's events to a
// testbed this test fills.

#include <gtest/gtest.h>
#include <umockdev.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "UsbTestSupport.h"
#include "usbwatch/LibusbBackend.h"
#include "usbwatch/OVUSBDeviceManager.h"

namespace orv::usb::testing {
namespace {

constexpr uint16_t kMaker = 0x18d1;

// A device descriptor followed by one configuration with one interface.
std::string descriptorsHex(uint16_t vendor, uint16_t product) {
    char device[64];
    std::snprintf(device, sizeof device, "1201000200000040%02x%02x%02x%02x000101020301", vendor & 0xFF, vendor >> 8,
                  product & 0xFF, product >> 8);
    return std::string(device) + "09022000010100c0fa0904000002ff4201000705810200020007050102000200";
}

std::string deviceRecord(const std::string& name, int devnum, uint16_t vendor, uint16_t product,
                         const std::string& extra) {
    char number[8];
    std::snprintf(number, sizeof number, "%03d", devnum);
    return "P: /devices/pci0000:00/0000:00:14.0/usb1/" + name + "\n" + "N: bus/usb/001/" + number + "\n" +
           "E: DEVNAME=/dev/bus/usb/001/" + number + "\n" + "E: DEVTYPE=usb_device\nE: DRIVER=usb\n" +
           "E: BUSNUM=001\nE: DEVNUM=" + number + "\nE: SUBSYSTEM=usb\n" + "A: busnum=1\nA: devnum=" +
           std::to_string(devnum) + "\nA: speed=480\n" + extra + "H: descriptors=" + descriptorsHex(vendor, product) +
           "\n";
}

struct Recorder : OVUSBDeviceManagerDelegate {
    void didUSDDeviceAdded(const std::shared_ptr<OVUSBDevice>& device) override { added.push_back(device); }
    void didUSDDeviceRemoved(const std::shared_ptr<OVUSBDevice>& device) override { removed.push_back(device); }
    std::vector<std::shared_ptr<OVUSBDevice>> added, removed;
};

class LibusbBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* preload = std::getenv("LD_PRELOAD");
        if (!preload || !std::strstr(preload, "libumockdev-preload")) GTEST_SKIP() << "needs umockdev-wrapper (LD_PRELOAD of libumockdev-preload)";
        testbed = umockdev_testbed_new();
        writeFile(resources.path() / "matchingdevices.plist", plist({makerEntry({kMaker}), vendorEntry(kMaker)}));
    }
    void TearDown() override {
        if (testbed) g_object_unref(testbed);
    }

    void add(const std::string& record) {
        GError* error = nullptr;
        ASSERT_TRUE(umockdev_testbed_add_from_string(testbed, record.c_str(), &error))
            << (error ? error->message : "");
    }

    std::shared_ptr<OVUSBDeviceManager> makeManager() {
        OVUSBDeviceManager::Environment env;
        env.backend = std::make_shared<LibusbBackend>();
        env.notify = mainQueue.executor();
        env.resourceDir = resources.path();
        auto manager = OVUSBDeviceManager::create(std::move(env));
        manager->setDonotopenDevice(true);
        return manager;
    }

    UMockdevTestbed* testbed = nullptr;
    TempDir resources;
    TaskQueue mainQueue;
};

TEST_F(LibusbBackendTest, PluggedAndUnpluggedPhonesReachTheDelegate) {
    add(deviceRecord("1-2", 2, kMaker, 0x4ee2, "A: serial=SER-1\nA: product=Pixel\n"));
    auto manager = makeManager();
    auto recorder = std::make_shared<Recorder>();
    ASSERT_TRUE(manager->startWatchingForUSDDevices(recorder));

    // Attached before the start.
    ASSERT_TRUE(mainQueue.drainUntil([&] { return recorder->added.size() == 1; }, std::chrono::seconds(10)));
    auto first = recorder->added[0];
    EXPECT_EQ(first->venderId(), kMaker);
    EXPECT_EQ(first->productId(), 0x4ee2);
    EXPECT_EQ(first->releaseId(), 0x0100);
    EXPECT_EQ(first->addressId(), 2);
    EXPECT_EQ(first->locationId(), 0x01200000);
    EXPECT_EQ(first->serialNumber(), "SER-1");
    EXPECT_EQ(first->name(), "Pixel");

    // Plugged while watching, behind a hub: no serial, no product name, a
    // database name.
    add(deviceRecord("1-3", 4, 0x05e3, 0x0608, ""));
    add(deviceRecord("1-3.1", 5, kMaker, 0x4ee1, "E: ID_MODEL_FROM_DATABASE=Database Phone\n"));
    const char* second = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-3.1";
    umockdev_testbed_uevent(testbed, second, "add");
    ASSERT_TRUE(mainQueue.drainUntil([&] { return recorder->added.size() == 2; }, std::chrono::seconds(10)));
    auto plugged = recorder->added[1];
    EXPECT_EQ(plugged->addressId(), 5);
    EXPECT_EQ(plugged->locationId(), 0x01310000);
    EXPECT_FALSE(plugged->serialNumber());
    EXPECT_EQ(plugged->name(), "Database Phone");

    // A device of another vendor matches no registration.
    add(deviceRecord("1-4", 6, 0x1234, 1, ""));
    umockdev_testbed_uevent(testbed, "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-4", "add");

    umockdev_testbed_uevent(testbed, second, "remove");
    umockdev_testbed_remove_device(testbed, second);
    ASSERT_TRUE(mainQueue.drainUntil([&] { return recorder->removed.size() == 1; }, std::chrono::seconds(10)));
    EXPECT_EQ(recorder->removed[0], plugged);
    ASSERT_EQ(manager->devices().size(), 1u);
    EXPECT_EQ(manager->devices()[0], first);
    EXPECT_EQ(recorder->added.size(), 2u);

    manager->stopWatching();
}

}  // namespace
}  // namespace orv::usb::testing
