// The watcher driven through the fake backend. Built twice, against the
// application's and the agent's build of the watcher (OV_USB_TEST_AGENT_BUILD).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>

#include "FakeUsbBackend.h"
#include "UsbTestSupport.h"
#include "usbwatch/OVUSBDeviceManager.h"

namespace orv::usb::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr uint16_t kMaker = 0x18d1;  // 6353
constexpr uint16_t kOther = 0x1234;  // 4660

struct Event {
    bool added;
    std::shared_ptr<OVUSBDevice> device;
    bool listedAtCall;
};

class RecordingDelegate : public OVUSBDeviceManagerDelegate {
public:
    void didUSDDeviceAdded(const std::shared_ptr<OVUSBDevice>& device) override { record(true, device); }
    void didUSDDeviceRemoved(const std::shared_ptr<OVUSBDevice>& device) override { record(false, device); }

    std::weak_ptr<OVUSBDeviceManager> manager;
    std::vector<Event> events;

private:
    void record(bool added, const std::shared_ptr<OVUSBDevice>& device) {
        bool listed = false;
        if (auto owner = manager.lock())
            for (const auto& d : owner->devices()) listed = listed || d == device;
        events.push_back({added, device, listed});
    }
};

class WatcherTest : public ::testing::Test {
protected:
    void SetUp() override { makeManager({}); }

    void makeManager(OVUSBDeviceManager::Executor pipeline) {
        OVUSBDeviceManager::Environment env;
        env.backend = backend;
        env.notify = [](std::function<void()> task) { task(); };
        env.pipeline = pipeline ? std::move(pipeline) : [](std::function<void()> task) { task(); };
        env.pause = [this](std::chrono::milliseconds d) {
            pauses.push_back(d);
            return true;
        };
        env.resourceDir = resources.path();
        env.console = [this](const std::string& line) { console.push_back(line); };
        env.log = [this](const std::string& line) { log.push_back(line); };
        manager = OVUSBDeviceManager::create(std::move(env));
        delegate->manager = manager;
    }

    void writeResource(const std::vector<std::string>& elements) {
        writeFile(resources.path() / "matchingdevices.plist", plist(elements));
    }

    bool start() { return manager->startWatchingForUSDDevices(delegate); }

    bool consoleHas(const std::string& text) const {
        for (const auto& line : console)
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

    TempDir resources;
    std::shared_ptr<FakeUsbBackend> backend = std::make_shared<FakeUsbBackend>();
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    std::shared_ptr<OVUSBDeviceManager> manager;
    std::vector<std::chrono::milliseconds> pauses;
    std::vector<std::string> console;
    std::vector<std::string> log;
};

TEST_F(WatcherTest, ReportsOnlyTheMakersVendorAndNamesOthersOnTheConsole) {
    writeResource({makerEntry({kMaker}), vendorEntry(kMaker), vendorEntry(kOther)});
    manager->setDonotopenDevice(true);
    ASSERT_TRUE(start());

    backend->plug(phone(kOther, 17, 1, {3}, 5));
    EXPECT_THAT(delegate->events, IsEmpty());
    EXPECT_THAT(console, ElementsAre("found device i didn't want (vendor = 4660, product = 17)\n"));

    auto facts = phone(kMaker, 0x4ee7, 1, {2}, 7);
    backend->plug(facts);
    ASSERT_EQ(delegate->events.size(), 1u);
    const auto& device = delegate->events[0].device;
    EXPECT_TRUE(delegate->events[0].added);
    EXPECT_TRUE(delegate->events[0].listedAtCall);
    EXPECT_EQ(device->venderId(), kMaker);
    EXPECT_EQ(device->productId(), 0x4ee7);
    EXPECT_EQ(device->releaseId(), 0x0100);
    EXPECT_EQ(device->addressId(), 7);
    EXPECT_EQ(device->locationId(), 0x01200000);
    EXPECT_EQ(device->busLocation(), 1);
}

TEST_F(WatcherTest, DevicesPresentAtStartAreReportedDuringTheStart) {
    writeResource({makerEntry({kMaker}), vendorEntry(kMaker)});
    backend->plug(phone(kMaker, 1, 2, {1, 4}, 3));
    ASSERT_TRUE(start());
    ASSERT_EQ(delegate->events.size(), 1u);
    EXPECT_EQ(delegate->events[0].device->locationId(), 0x02140000);
}

struct ProbeCase {
    const char* name;
    bool probing;
    std::vector<int> openResults;
    bool reported;
    int opens;
    int pauses;
    const char* consoleText;  // nullptr: no console line
};

TEST_F(WatcherTest, ProbeOpenDecidesWhetherAPhoneIsReported) {
    const ProbeCase cases[] = {
        {"opens", true, {0}, true, 1, 0, nullptr},
        {"busy four times", true, {LIBUSB_ERROR_BUSY},
         false, 4, 3, "unable to open device: another process has device opened for exclusive access\n"},
        {"busy, then free", true, {LIBUSB_ERROR_BUSY, LIBUSB_ERROR_BUSY, 0}, true, 3, 2, nullptr},
        {"gone while probing", true, {LIBUSB_ERROR_NO_DEVICE},
         false, 4, 3, "unable to open device: no connection to an IOService\n"},
        {"no permission", true, {LIBUSB_ERROR_ACCESS}, true, 1, 0,
         "SUBSYSTEM==\"usb\", ATTR{idVendor}==\"18d1\", TAG+=\"uaccess\""},
        {"busy, not probing", false, {LIBUSB_ERROR_BUSY}, true, 0, 0, nullptr},
        {"no permission, not probing", false, {LIBUSB_ERROR_ACCESS}, true, 0, 0, nullptr},
    };
    writeResource({makerEntry({kMaker}), vendorEntry(kMaker)});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        backend = std::make_shared<FakeUsbBackend>();
        delegate = std::make_shared<RecordingDelegate>();
        makeManager({});
        pauses.clear();
        console.clear();
        manager->setDonotopenDevice(!c.probing);
        ASSERT_TRUE(start());
        auto facts = phone(kMaker, 2, 1, {1}, 9);
        backend->scriptOpenResults(locationOf(facts), c.openResults);
        backend->plug(facts);

        EXPECT_EQ(delegate->events.size(), c.reported ? 1u : 0u);
        EXPECT_EQ(manager->devices().size(), c.reported ? 1u : 0u);
        EXPECT_EQ(backend->openCalls, c.opens);
        EXPECT_EQ(pauses, std::vector<std::chrono::milliseconds>(c.pauses, std::chrono::seconds(1)));
        if (c.consoleText) {
            EXPECT_TRUE(consoleHas(c.consoleText)) << ::testing::PrintToString(console);
        } else {
            EXPECT_THAT(console, IsEmpty());
        }
    }
}

TEST_F(WatcherTest, NameFallsBackAndAMissingSerialStaysMissing) {
    struct NameCase {
        std::optional<std::string> product, databaseName, serial;
        std::string name;
    };
    const NameCase cases[] = {
        {"Pixel 7", "Database name", "ABC123", "Pixel 7"},
        {std::nullopt, "Database name", "ABC123", "Database name"},
        {std::nullopt, std::nullopt, std::nullopt, "Unknown Device"},
    };
    writeResource({makerEntry({kMaker}), vendorEntry(kMaker)});
    manager->setDonotopenDevice(true);
    ASSERT_TRUE(start());
    uint8_t port = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ++port;
        auto facts = phone(kMaker, 1, 1, {port}, port, c.serial, c.product);
        facts.databaseName = c.databaseName;
        backend->plug(facts);
        ASSERT_FALSE(delegate->events.empty());
        const auto device = delegate->events.back().device;
        EXPECT_EQ(device->name(), c.name);
        EXPECT_EQ(device->serialNumber(), c.serial);
        const auto properties = device->properties();
        EXPECT_EQ(properties.count(OVUSBDevice::kSerialNumberKey), c.serial ? 1u : 0u);
        EXPECT_EQ(properties.count(OVUSBDevice::kProductNameKey), c.product ? 1u : 0u);
    }
}

TEST_F(WatcherTest, AnEntryLackingIdVendorIsSkippedWhileTheOthersAreWatched) {
    writeResource({makerEntry({kMaker}),
                   matchingEntry("<key>IOProviderClass</key><string>IOUSBDevice</string>"
                                 "<key>idProduct</key><integer>5</integer>"),
                   vendorEntry(kMaker)});
    manager->setDonotopenDevice(true);
    ASSERT_TRUE(start());
    EXPECT_EQ(backend->watchCalls, 1);
#if OV_USB_TEST_AGENT_BUILD
    EXPECT_THAT(log, ElementsAre("wrong device in devices.plist {IOProviderClass = \"IOUSBDevice\"; idProduct = 5;}"));
#else
    EXPECT_THAT(log, IsEmpty());
#endif
    backend->plug(phone(kMaker, 1, 1, {1}, 2));
    EXPECT_EQ(delegate->events.size(), 1u);
}

TEST_F(WatcherTest, AWatchThatRegistersNothingFailsAndALaterStartProceeds) {
    struct FailCase {
        const char* name;
        std::optional<std::string> resource;  // nullopt: no file at all
        int watchFailure;
        const char* consoleText;
    };
    const FailCase cases[] = {
        {"missing resource", std::nullopt, 0, "no USB devices watched: cannot read"},
        {"unreadable resource", std::string("not a property list"), 0, "not a property list"},
        {"no maker vendor", plist({vendorEntry(kMaker)}), 0, "lists no makerVendorIds"},
        {"no usable entry", plist({makerEntry({kMaker}), matchingEntry("<key>idVendor</key><integer>1</integer>")}),
         0, "no entry of"},
        {"registration refused", plist({makerEntry({kMaker}), vendorEntry(kMaker)}), LIBUSB_ERROR_NOT_SUPPORTED,
         "libusb_hotplug_register_callback failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(resources.path() / "matchingdevices.plist");
        if (c.resource) writeFile(resources.path() / "matchingdevices.plist", *c.resource);
        backend = std::make_shared<FakeUsbBackend>();
        makeManager({});
        console.clear();
        if (c.watchFailure) backend->failNextWatch(c.watchFailure);

        EXPECT_FALSE(start());
        EXPECT_FALSE(manager->isWatching());
        EXPECT_TRUE(consoleHas(c.consoleText)) << ::testing::PrintToString(console);

        // Nothing was watched, so a second start is not refused.
        writeResource({makerEntry({kMaker}), vendorEntry(kMaker)});
        EXPECT_TRUE(start());
        EXPECT_TRUE(manager->isWatching());
    }
}

TEST_F(WatcherTest, ASecondStartIsRefusedAndKeepsTheFirstDelegate) {
    writeResource({makerEntry({kMaker}), vendorEntry(kMaker)});
    ASSERT_TRUE(start());
    auto second = std::make_shared<RecordingDelegate>();
    EXPECT_FALSE(manager->startWatchingForUSDDevices(second));
    EXPECT_EQ(manager->lxUSBDeviceWatchDelegate(), delegate);
    EXPECT_EQ(backend->watchCalls, 1);
}

TEST_F(WatcherTest, ANullDelegateIsRefused) {
    writeResource({makerEntry({kMaker}), vendorEntry(kMaker)});
    EXPECT_FALSE(manager->startWatchingForUSDDevices(nullptr));
    EXPECT_EQ(backend->watchCalls, 0);
#if OV_USB_TEST_AGENT_BUILD
    EXPECT_THAT(log, ElementsAre("provide delegate"));
#else
    EXPECT_THAT(log, IsEmpty());
#endif
}

TEST_F(WatcherTest, RemovalTellsTheDelegateWhileListedAndIgnoresUnknownIds) {
    writeResource({makerEntry({kMaker}), vendorEntry(kMaker)});
    manager->setDonotopenDevice(true);
    ASSERT_TRUE(start());
    auto first = phone(kMaker, 1, 1, {1}, 2);
    auto second = phone(kMaker, 1, 1, {2}, 3);
    backend->plug(first);
    backend->plug(second);

    manager->matchingDeviceRemoved(0x7f000000);
    EXPECT_EQ(delegate->events.size(), 2u);
    EXPECT_EQ(manager->devices().size(), 2u);

    backend->unplug(first);
    ASSERT_EQ(delegate->events.size(), 3u);
    EXPECT_FALSE(delegate->events[2].added);
    EXPECT_TRUE(delegate->events[2].listedAtCall);
    EXPECT_EQ(delegate->events[2].device->locationId(), locationOf(first));
    ASSERT_EQ(manager->devices().size(), 1u);
    EXPECT_EQ(manager->devices()[0]->locationId(), locationOf(second));
#if OV_USB_TEST_AGENT_BUILD
    EXPECT_THAT(log, ElementsAre("matchingDeviceAdded=17825792", "matchingDeviceAdded=18874368",
                                 "matchingDeviceRemoved=17825792"));
#else
    EXPECT_THAT(log, IsEmpty());
#endif
}

TEST_F(WatcherTest, ARepeatedArrivalMakesNoSecondRecord) {
    // Two entries match the same phone, so the stack reports one plug twice.
    writeResource({makerEntry({kMaker}), vendorEntry(kMaker), vendorEntry(kMaker, "<integer>1</integer>")});
    manager->setDonotopenDevice(true);
    ASSERT_TRUE(start());
    auto facts = phone(kMaker, 1, 1, {1}, 2);
    backend->plug(facts);
    EXPECT_EQ(delegate->events.size(), 1u);
    EXPECT_EQ(manager->devices().size(), 1u);

    // The same port with a new address is a new plug whose removal was lost:
    // the stale record goes first.
    facts.address = 3;
    backend->plug(facts);
    ASSERT_EQ(delegate->events.size(), 3u);
    EXPECT_FALSE(delegate->events[1].added);
    EXPECT_EQ(delegate->events[1].device->addressId(), 2);
    EXPECT_TRUE(delegate->events[2].added);
    ASSERT_EQ(manager->devices().size(), 1u);
    EXPECT_EQ(manager->devices()[0]->addressId(), 3);
}

// With the watcher's own worker: probing waits off the posting thread, a
// removal never overtakes the arrival being probed, and stopping cuts a
// pending retry short.
class WatcherWorkerTest : public ::testing::Test {
protected:
    std::shared_ptr<OVUSBDeviceManager> make(std::chrono::milliseconds retry) {
        writeFile(resources.path() / "matchingdevices.plist", plist({makerEntry({kMaker}), vendorEntry(kMaker)}));
        OVUSBDeviceManager::Environment env;
        env.backend = backend;
        env.notify = mainQueue.executor();
        env.resourceDir = resources.path();
        env.retryInterval = retry;
        env.console = [](const std::string&) {};
        env.log = [](const std::string&) {};
        auto manager = OVUSBDeviceManager::create(std::move(env));
        delegate->manager = manager;
        return manager;
    }

    TempDir resources;
    TaskQueue mainQueue;
    std::shared_ptr<FakeUsbBackend> backend = std::make_shared<FakeUsbBackend>();
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

TEST_F(WatcherWorkerTest, ARemovalWaitsForTheProbeOfItsArrival) {
    auto manager = make(std::chrono::milliseconds(20));
    ASSERT_TRUE(manager->startWatchingForUSDDevices(delegate));
    auto facts = phone(kMaker, 1, 1, {1}, 2);
    backend->scriptOpenResults(locationOf(facts), {LIBUSB_ERROR_BUSY, LIBUSB_ERROR_BUSY, 0});
    backend->plug(facts);
    backend->unplug(facts);

    ASSERT_TRUE(mainQueue.drainUntil([&] { return delegate->events.size() == 2; }, std::chrono::seconds(10)));
    EXPECT_TRUE(delegate->events[0].added);
    EXPECT_FALSE(delegate->events[1].added);
    EXPECT_TRUE(manager->devices().empty());
}

TEST_F(WatcherWorkerTest, StoppingCutsAPendingRetryShort) {
    auto manager = make(std::chrono::minutes(10));
    ASSERT_TRUE(manager->startWatchingForUSDDevices(delegate));
    auto facts = phone(kMaker, 1, 1, {1}, 2);
    backend->scriptOpenResults(locationOf(facts), {LIBUSB_ERROR_BUSY});
    std::promise<void> probing;
    backend->onProbe = [&probing] { probing.set_value(); };
    backend->plug(facts);
    ASSERT_EQ(probing.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);

    const auto before = std::chrono::steady_clock::now();
    manager->stopWatching();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(30));
    EXPECT_EQ(backend->stopCalls, 1);
    EXPECT_TRUE(delegate->events.empty());
}

}  // namespace
}  // namespace orv::usb::testing
