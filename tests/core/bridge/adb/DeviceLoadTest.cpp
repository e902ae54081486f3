// Loading a simulated phone from "start-server" to its device information
// and libraries, and every way the load can fail.

#include <gtest/gtest.h>

#include <algorithm>

#include "CompanionTestSupport.h"
#include "PhoneTestSupport.h"
#include "core/bridge/facade/ADBError.h"
#include "core/bridge/companion/OVADBForwardOperation.h"
#include "core/bridge/model/OVDevice.h"
#include "core/bridge/model/OVImageFile.h"
#include "platform/Thread.h"

namespace orv::test {
namespace {

using Commands = std::vector<std::vector<std::string>>;

// A phone back in its default state for every test.
class DeviceLoadTest : public PhoneTest {
protected:
    void SetUp() override
    {
        PhoneTest::SetUp();
        for (const char* name : {"install-unknown-sources", "service-never-starts", "silent", "reset-once",
                                 "reset-always"})
            sim().misbehave(serial, name, false);
        sim().set(serial, "state", "device");
        sim().set(serial, "apk-version", "none");
        sim().set(serial, "version", "1.0");
        sim().clearLog();
    }
    void TearDown() override
    {
        OVADBForwardOperation::setTimeoutScale(1);
        PhoneTest::TearDown();
        EXPECT_TRUE(companionOperationsGone([](auto done) { return waitFor(done); }));
    }

    // Loads the phone and waits for the callback, which must come once on
    // the main thread.
    std::optional<Error> load()
    {
        struct Result {
            int calls = 0;
            bool onMain = true;
            std::optional<Error> error;
        };
        auto result = std::make_shared<Result>();
        manager->fetchADBInfoWithSerialNumber(serial, device, [result](std::optional<Error> error) {
            result->onMain = result->onMain && isMainThread();
            ++result->calls;
            result->error = error;
        });
        EXPECT_TRUE(waitFor([&] { return result->calls > 0; }));
        drainMainQueue();
        EXPECT_EQ(result->calls, 1);
        EXPECT_TRUE(result->onMain);
        // A loaded phone then opens its keep-alive connection; let that
        // finish before the test does.
        if (!result->error) {
            EXPECT_TRUE(waitFor([&] { return manager->keepAliveOperationQueue().operationCount() == 1; }));
        }
        return result->error;
    }

    bool ran(const std::vector<std::string>& command)
    {
        auto commands = adbCommands();
        return std::find(commands.begin(), commands.end(), command) != commands.end();
    }

    size_t deviceInfoRequests()
    {
        size_t count = 0;
        for (const auto& entry : sim().log(serial, "companion"))
            if (entry.value("cmd", 0) == 0x03)
                ++count;
        return count;
    }

    std::shared_ptr<OVDevice> device = std::make_shared<OVDevice>();
};

TEST_F(DeviceLoadTest, AHealthyPhoneLoadsFromStartServerToItsLibraries)
{
    ASSERT_EQ(load(), std::nullopt);

    EXPECT_EQ(device->adbStatus(), OVDevice::StatusDevice);
    EXPECT_EQ(device->battery(), 85);
    EXPECT_EQ(device->friendlyName(), "Simulated Phone");
    EXPECT_EQ(device->totalSpace(), 29'800'000);
    EXPECT_EQ(device->freeSpace(), 19'600'000);
    EXPECT_EQ(device->color(), 0);
    EXPECT_EQ(device->productType(), 0);
    EXPECT_EQ(manager->serialNumber(), serial);
    const uint64_t port = manager->socketPort();
    EXPECT_GE(port, 11000u);
    EXPECT_LT(port, 15000u);

    auto commands = adbCommands();
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ(commands[0], (std::vector<std::string>{"start-server"}));
    EXPECT_EQ(commands[1], (std::vector<std::string>{"devices"}));
    EXPECT_TRUE(ran({"-s", serial, "install", "-r", (sim().resourceDir() / "Tidewell.apk").string(), "/system/app"}));
    EXPECT_TRUE(ran({"-s", serial, "shell", "am startservice com.velmoros.tidewell/.AdbForwardService"}));
    EXPECT_TRUE(ran({"-s", serial, "forward", "tcp:" + std::to_string(port), "tcp:10086"}));
    EXPECT_EQ(deviceInfoRequests(), 1u);

    // The keep-alive connection opens after the load.
    ASSERT_TRUE(waitFor([&] { return sim().keepAlive(serial).size() == 1; }));

    // The libraries come over the same forward.
    struct Libraries {
        std::map<std::string, std::optional<OVMediaLibrary>> results;
        std::map<std::string, std::optional<Error>> errors;
    };
    auto libraries = std::make_shared<Libraries>();
    auto keep = [libraries](const char* name) {
        return [libraries, name](std::optional<OVMediaLibrary> library, std::optional<Error> error) {
            EXPECT_TRUE(isMainThread());
            libraries->results[name] = std::move(library);
            libraries->errors[name] = std::move(error);
        };
    };
    manager->fetchPhotoLibraryWithCallback(keep("photos"));
    manager->fetchVideoLibraryWithCallback(keep("videos"));
    manager->fetchAudioLibraryWithCallback(keep("music"));
    ASSERT_TRUE(waitFor([&] { return libraries->results.size() == 3; }));
    for (const auto& [name, error] : libraries->errors)
        EXPECT_FALSE(error) << name;

    const auto& photos = *libraries->results["photos"];
    ASSERT_FALSE(photos.at("photos").empty());
    ASSERT_FALSE(photos.at("camera").empty());
    EXPECT_FALSE(photos.at("albums").empty());
    for (const auto& photo : photos.at("camera")) {
        EXPECT_TRUE(photo->path().starts_with("/storage/emulated/legacy/DCIM/Camera/"));
        EXPECT_NE(std::dynamic_pointer_cast<OVImageFile>(photo)->imageId(), 0u);
    }
    EXPECT_FALSE(libraries->results["videos"]->at("videos").empty());
    EXPECT_FALSE(libraries->results["music"]->at("songs").empty());
    EXPECT_FALSE(libraries->results["music"]->at("albums").empty());
}

TEST_F(DeviceLoadTest, EachFailureReportsItsCode)
{
    struct Case {
        const char* name;
        std::function<void()> breakPhone;
        long code;
        int64_t status;
    };
    const std::vector<Case> cases = {
        {"not authorised", [&] { sim().set(serial, "state", "unauthorized"); }, ADBErrorUnauthorized,
         OVDevice::StatusUnauthorized},
        {"offline", [&] { sim().set(serial, "state", "offline"); }, ADBErrorOffline, OVDevice::StatusOffline},
        {"not attached", [&] { sim().unplug(serial); }, ADBErrorNotConnected, OVDevice::StatusNone},
        {"install from unknown sources refused", [&] { sim().misbehave(serial, "install-unknown-sources"); },
         ADBErrorUnknownSources, OVDevice::StatusDevice},
        {"service does not start", [&] { sim().misbehave(serial, "service-never-starts"); },
         ADBErrorServiceNotStarted, OVDevice::StatusDevice},
        {"service newer than the framework", [&] { sim().set(serial, "version", "1.1"); }, ADBErrorFrameworkTooOld,
         OVDevice::StatusDevice},
        {"phone software too old", [&] { sim().set(serial, "version", "0.9"); }, ADBErrorROMTooOld,
         OVDevice::StatusDevice},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        device = std::make_shared<OVDevice>();
        c.breakPhone();
        auto error = load();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain, kADBErrorDomain);
        EXPECT_EQ(error->code, c.code);
        EXPECT_EQ(device->adbStatus(), c.status);
        sim().replug(serial);
    }
    // A version mismatch is found once the record is filled.
    EXPECT_EQ(device->friendlyName(), "Simulated Phone");
}

TEST_F(DeviceLoadTest, AMissingInstallerIsAnInstallFailure)
{
    // This system does not ship the companion application itself.
    TemporaryFolder resources;
    std::filesystem::create_symlink(sim().adbPath(), resources.path() / "adb");
    setResourceDirectory(resources.path().string());
    auto error = load();
    setResourceDirectory(sim().resourceDir().string());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, ADBErrorInstallFailed);
    for (const auto& command : adbCommands())
        EXPECT_EQ(std::find(command.begin(), command.end(), "install"), command.end());
}

TEST_F(DeviceLoadTest, APhoneAuthorisedDuringTheLoadIsLoaded)
{
    sim().set(serial, "state", "unauthorized,device");
    EXPECT_EQ(load(), std::nullopt);
    EXPECT_EQ(device->adbStatus(), OVDevice::StatusDevice);
    const auto commands = adbCommands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), std::vector<std::string>{"devices"}), 2);
}

TEST_F(DeviceLoadTest, OnlyAMissingOrOldCompanionIsInstalled)
{
    for (const char* installed : {"14", "15"}) {
        SCOPED_TRACE(installed);
        SetUp();
        sim().set(serial, "apk-version", installed);
        ASSERT_EQ(load(), std::nullopt);
        bool installs = false;
        for (const auto& command : adbCommands())
            installs = installs || std::find(command.begin(), command.end(), "install") != command.end();
        EXPECT_EQ(installs, std::string(installed) == "14");
    }
}

TEST_F(DeviceLoadTest, AFailedDeviceInformationRequestIsTriedOnceMore)
{
    sim().misbehave(serial, "reset-once");
    EXPECT_EQ(load(), std::nullopt);
    EXPECT_EQ(deviceInfoRequests(), 2u);

    // A service that accepts but never answers cannot hold the load.
    SetUp();
    OVADBForwardOperation::setTimeoutScale(0.05);
    sim().misbehave(serial, "silent");
    auto error = load();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, ADBErrorSocketTimeout);
    EXPECT_EQ(deviceInfoRequests(), 2u);
}

TEST_F(DeviceLoadTest, AnEmptySerialIsRefusedWithoutRunningAnything)
{
    std::optional<Error> error;
    bool called = false;
    EXPECT_EQ(manager->fetchADBInfoWithSerialNumber("", device, [&](std::optional<Error> e) {
        called = true;
        error = e;
    }),
              nullptr);
    EXPECT_FALSE(called);  // always on the main queue
    ASSERT_TRUE(waitFor([&] { return called; }));
    EXPECT_EQ(error->code, ADBErrorInvalidArgument);
    EXPECT_TRUE(adbCommands().empty());
}

}  // namespace
}  // namespace orv::test
