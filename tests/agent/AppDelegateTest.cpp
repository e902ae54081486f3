// The agent's delegate over the fake USB backend: which phones start the
// application, with which arguments, and when nothing is started.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/prctl.h>

#include <cstdlib>

#include "AgentTestSupport.h"
#include "FakeUsbBackend.h"
#include "agent/AppDelegate.h"
#include "agent/LaunchArgument.h"
#include "usbwatch/InstanceLock.h"

namespace orv::agent::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using usb::testing::phone;

constexpr uint16_t kMaker = 0x18d1;

struct RecordingLauncher : Launcher {
    bool launch(const std::string& program, const std::vector<std::string>& arguments, std::string*) override {
        calls.push_back({program, arguments});
        return true;
    }
    std::vector<std::pair<std::string, std::vector<std::string>>> calls;
};

class AgentTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("XDG_RUNTIME_DIR")) savedRuntime_ = old;
        ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
        usb::testing::writeFile(resources.path() / "matchingdevices.plist",
                                usb::testing::plist({usb::testing::makerEntry({kMaker}), usb::testing::vendorEntry(kMaker),
                                                     usb::testing::vendorEntry(kMaker, "<integer>1</integer>")}));
    }
    void TearDown() override {
        if (savedRuntime_)
            ::setenv("XDG_RUNTIME_DIR", savedRuntime_->c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
    }

    std::shared_ptr<AppDelegate> makeAgent(std::shared_ptr<Launcher> launcher, std::filesystem::path application) {
        OVUSBDeviceManager::Environment env;
        env.backend = backend;
        env.notify = [](std::function<void()> task) { task(); };
        env.pipeline = [](std::function<void()> task) { task(); };
        env.resourceDir = resources.path();
        env.console = [](const std::string&) {};
        env.log = [](const std::string&) {};
        watcher = OVUSBDeviceManager::create(std::move(env));
        AppDelegate::Options options;
        options.application = std::move(application);
        options.launcher = std::move(launcher);
        options.log = [this](const std::string& line) { log.push_back(line); };
        return std::make_shared<AppDelegate>(watcher, std::move(options));
    }

    bool logHas(const std::string& text) const {
        for (const auto& line : log)
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

    usb::testing::TempDir runtime, resources, work;
    std::shared_ptr<usb::testing::FakeUsbBackend> backend = std::make_shared<usb::testing::FakeUsbBackend>();
    std::shared_ptr<OVUSBDeviceManager> watcher;
    std::vector<std::string> log;

private:
    std::optional<std::string> savedRuntime_;
};

TEST_F(AgentTest, AnArrivingPhoneStartsTheApplicationWithItsIdentity) {
    // The stand-in is orphaned by the launcher's double fork; as subreaper
    // this test gets it back to reap.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    const auto record = work.path() / "launched";
    const auto application = writeStandIn(work.path(), record);
    auto agent = makeAgent(std::make_shared<DetachedLauncher>(), application);
    ASSERT_TRUE(agent->applicationDidFinishLaunching());
    EXPECT_TRUE(watcher->donotopenDevice());

    backend->plug(phone(kMaker, 1, 1, {2}, 7, "R58:M1"));

    ASSERT_TRUE(waitForFile(record, std::chrono::seconds(20)));
    auto lines = readLines(record);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_THAT(std::vector<std::string>(lines.begin() + 1, lines.end()), ElementsAre("-s", "R58:M1:18874368:7"));
    EXPECT_TRUE(logHas("OrvaneAgent launchApplicationAtURL=" + application.string() +
                       " arguments=(-s, R58:M1:18874368:7)"));
    const auto status = waitForExit(static_cast<pid_t>(std::stol(lines[0])), std::chrono::seconds(20));
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
}

TEST_F(AgentTest, TheApplicationGetsNoDescriptorOfTheAgent) {
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    // As libraries leave them: without close-on-exec.
    const int plain = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(plain, 0);
    const auto record = work.path() / "descriptors";
    const auto script = work.path() / "Orvane";
    usb::testing::writeFile(script, "#!/bin/sh\n"
                                    // Listed by a shell of its own: the script's shell holds the script open.
                                    "/bin/sh -c 'for f in /proc/self/fd/*; do [ -e \"/proc/$$/fd/${f##*/}\" ] && echo ${f##*/}; done' > '" +
                                        record.string() + ".tmp'\n"
                                        "echo $$ >> '" + record.string() + ".tmp'\n"
                                        "mv '" + record.string() + ".tmp' '" + record.string() + "'\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    std::string error;
    ASSERT_TRUE(DetachedLauncher().launch(script, {}, &error)) << error;
    ::close(plain);
    ASSERT_TRUE(waitForFile(record, std::chrono::seconds(20)));
    auto lines = readLines(record);
    ASSERT_EQ(lines.size(), 4u) << readAll(record);
    ASSERT_TRUE(waitForExit(static_cast<pid_t>(std::stol(lines[3])), std::chrono::seconds(20)));
    EXPECT_THAT(std::vector<std::string>(lines.begin(), lines.begin() + 3), ElementsAre("0", "1", "2"));
}

TEST_F(AgentTest, OnePlugStartsTheApplicationOnceAlsoForPhonesPresentAtStart) {
    auto launcher = std::make_shared<RecordingLauncher>();
    auto agent = makeAgent(launcher, "/opt/orvane/bin/Orvane");
    // Attached before the agent started; matched by both entries of the list.
    backend->plug(phone(kMaker, 1, 1, {3}, 4, "PRESENT"));
    ASSERT_TRUE(agent->applicationDidFinishLaunching());
    ASSERT_EQ(launcher->calls.size(), 1u);
    EXPECT_EQ(launcher->calls[0].first, "/opt/orvane/bin/Orvane");
    EXPECT_THAT(launcher->calls[0].second, ElementsAre("-s", "PRESENT:19922944:4"));

    backend->plug(phone(kMaker, 1, 1, {4}, 5, "SECOND"));
    ASSERT_EQ(launcher->calls.size(), 2u);
    EXPECT_THAT(launcher->calls[1].second, ElementsAre("-s", "SECOND:20971520:5"));
    EXPECT_EQ(agent->devices().size(), 2u);

    backend->unplug(phone(kMaker, 1, 1, {3}, 4));
    ASSERT_EQ(agent->devices().size(), 1u);
    EXPECT_EQ(agent->devices()[0]->serialNumber(), "SECOND");
}

TEST_F(AgentTest, NothingIsStartedWhileTheApplicationHoldsItsLock) {
    auto launcher = std::make_shared<RecordingLauncher>();
    auto agent = makeAgent(launcher, "/opt/orvane/bin/Orvane");
    ASSERT_TRUE(agent->applicationDidFinishLaunching());

    std::unique_ptr<usb::InstanceLock> application;
    ASSERT_EQ(usb::InstanceLock::tryAcquire(usb::kApplicationLockName, application),
              usb::InstanceLock::Status::Acquired);
    backend->plug(phone(kMaker, 1, 1, {1}, 2));
    EXPECT_TRUE(launcher->calls.empty());
    EXPECT_TRUE(logHas("Orvane is already running"));

    application.reset();
    backend->plug(phone(kMaker, 1, 1, {2}, 3));
    EXPECT_EQ(launcher->calls.size(), 1u);
}

TEST_F(AgentTest, AFailedLaunchIsLoggedAndTheNextArrivalTriesAgain) {
    const auto missing = work.path() / "no-such-application";
    auto agent = makeAgent(std::make_shared<DetachedLauncher>(), missing);
    ASSERT_TRUE(agent->applicationDidFinishLaunching());
    backend->plug(phone(kMaker, 1, 1, {1}, 2));
    backend->plug(phone(kMaker, 1, 1, {2}, 3));
    int failures = 0;
    for (const auto& line : log)
        if (line.find("launchApplicationAtURL error=") != std::string::npos) {
            ++failures;
            EXPECT_THAT(line, HasSubstr("No such file or directory"));
        }
    EXPECT_EQ(failures, 2);
}

TEST_F(AgentTest, AnAgentWithNothingToWatchSaysSo) {
    std::filesystem::remove(resources.path() / "matchingdevices.plist");
    auto agent = makeAgent(std::make_shared<RecordingLauncher>(), "/opt/orvane/bin/Orvane");
    EXPECT_FALSE(agent->applicationDidFinishLaunching());
    EXPECT_TRUE(logHas("no USB device is watched"));
}

TEST(LaunchArgument, JoinsSerialLocationAndAddress) {
    struct Case {
        std::optional<std::string> serial;
        int64_t location;
        uint16_t address;
        std::string expected;
    };
    const Case cases[] = {
        {"0123456789ABCDEF", 0x14140000, 5, "0123456789ABCDEF:336855040:5"},
        {std::nullopt, 0x01200000, 7, ":18874368:7"},           // no serial: an empty field, not a made-up text
        {"A:B", 0x01200000, 65535, "A:B:18874368:65535"},       // read from the right, the numbers stay put
        {"bad\nserial", 0x01200000, 1, ":18874368:1"},          // control characters are not passed on
        {"", int64_t{0xFF900000}, 0, ":4287627264:0"},
    };
    for (const auto& c : cases) {
        OVUSBDevice device(c.location);
        device.setAddressId(c.address);
        if (c.serial) device.setProperties({{OVUSBDevice::kSerialNumberKey, *c.serial}});
        EXPECT_EQ(launchArgument(device), c.expected);
    }
}

}  // namespace
}  // namespace orv::agent::testing
