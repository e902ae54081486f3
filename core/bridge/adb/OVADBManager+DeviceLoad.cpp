// The device load: adb status, static facts, the companion service's
// start-up and port forward, its device information, and the rebuild of the
// companion link after its keep-alive connection ended or the machine woke.

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "core/bridge/facade/ADBError.h"
#include "core/bridge/adb/DeviceLoadOutput.h"
#include "core/bridge/adb/OVADBConstants.h"
#include "core/bridge/companion/OVADBForwardDeviceInfoOperation.h"
#include "core/bridge/adb/OVADBManager.h"
#include "core/bridge/adb/OVADBManagerOperation.h"
#include "core/bridge/model/OVDevice.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/facade/OVResources.h"
#include "core/bridge/companion/RecordValues.h"

namespace orv {

namespace {

const std::string kCompanionPackage = "com.velmoros.tidewell";
const std::string kCompanionService = "com.velmoros.tidewell/.AdbForwardService";
const std::string kCompanionProcess = "com.velmoros.tidewell:fwd";
const std::string kCompanionInstaller = "Tidewell.apk";
const std::string kServicePort = "tcp:10086";

bool contains(const std::optional<std::string>& text, std::string_view part)
{
    return text && text->find(part) != std::string::npos;
}

uint16_t drawPort()
{
    thread_local std::mt19937 generator{std::random_device{}()};
    return static_cast<uint16_t>(11000 + std::uniform_int_distribution<int>(0, 3999)(generator));
}

}  // namespace

OperationRef OVADBManager::fetchADBInfoWithSerialNumber(const std::string& serial,
                                                        const std::shared_ptr<OVDevice>& device,
                                                        LoadCallback callback)
{
    auto report = [callback](std::optional<Error> error) {
        onMainQueue([callback, error] {
            if (callback)
                callback(error);
        });
    };
    if (serial.empty() || !device) {
        report(adb_errorWithCode(ADBErrorInvalidArgument));
        return nullptr;
    }
    setSerialNumber("");
    device->setAdbStatus(OVDevice::StatusNone);

    // The load keeps the manager until it ends.
    auto operation = makeBlockOperation([self = shared_from_this(), serial, device, callback,
                                         report](BlockOperation&) {
        auto error = self->updateADBStatusForDevice(*device, serial);
        if (device->adbStatus() != OVDevice::StatusDevice) {
            report(error);
            return;
        }
        self->setSerialNumber(serial);
        self->getStaticInfoForDevice(*device);
        const uint64_t port = self->chooseLocalPort();
        if (auto failure = self->startADBForwardAtPort(port)) {
            report(failure);
            return;
        }
        self->setSocketPort(port);
        std::weak_ptr<OVADBManager> weakSelf = self;
        self->getServiceInfoForDevice(device, 1, [weakSelf, device, report](std::optional<Error> error) {
            report(error);
            if (error)
                return;
            // Registering opens the keep-alive connection.
            if (auto manager = weakSelf.lock())
                manager->registerDeviceInfoChangeForDevice(device, [](const nlohmann::json&, std::optional<Error>) {});
        });
    });
    adbOperationQueue().addOperation(operation);
    return operation;
}

std::optional<Error> OVADBManager::updateADBStatusForDevice(OVDevice& device, const std::string& serial)
{
    performADBCommand({"start-server"});
    int64_t status = OVDevice::StatusNone;
    std::optional<Error> error;
    for (int pass = 0; pass < 2; ++pass) {
        status = OVDevice::StatusNone;
        error = adb_errorWithCode(ADBErrorNotConnected);
        auto output = performADBCommand({"devices"});
        if (output) {
            if (auto state = deviceStateInList(*output, serial)) {
                status = adbStatusForState(*state);
                switch (status) {
                case OVDevice::StatusUnauthorized:
                    error = adb_errorWithCode(ADBErrorUnauthorized);
                    break;
                case OVDevice::StatusDevice:
                    error.reset();
                    break;
                case OVDevice::StatusOffline:
                    error = adb_errorWithCode(ADBErrorOffline);
                    break;
                default:
                    error = adb_errorWithCode(ADBErrorGeneric);
                    break;
                }
            }
        }
        // The phone may still be asking its owner to allow this computer.
        if (status != OVDevice::StatusUnauthorized || pass == 1)
            break;
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    device.setAdbStatus(status);
    return error;
}

void OVADBManager::getStaticInfoForDevice(OVDevice& device)
{
    auto battery = performShell({"dumpsys battery | grep -e level"});
    if (battery && !battery->empty())
        if (auto level = batteryLevelFromOutput(*battery))
            device.setBattery(*level);

    getDiskSpace(device);

    auto color = performShell({"getprop", "ro.housing.color"});
    if (color && color->starts_with("black"))
        device.setColor(0);
    else if (color && color->starts_with("white"))
        device.setColor(1);

    auto product = performShell({"getprop", "ro.product.name"});
    if (product && product->starts_with("tovamere"))
        device.setProductType(0);
    else if (product && product->starts_with("quellbrin"))
        device.setProductType(1);
}

void OVADBManager::getDiskSpace(OVDevice& device)
{
    diskSpaceThrough(runner(), device);
}

void OVADBManager::diskSpaceThrough(const ADBRunner& runner, OVDevice& device)
{
    const std::string root = OVDeviceClient::rootDir()->path();
    auto output = runner.shell({"df", root});
    if (!output)
        return;
    if (auto space = diskSpaceFromOutput(*output, root)) {
        device.setFreeSpace(space->free);
        device.setTotalSpace(space->total);
    }
}

uint64_t OVADBManager::chooseLocalPort()
{
    // Another phone's forward, or another program, may already hold a port;
    // a forward onto it would take it over or fail unnoticed.
    auto forwards = performADBCommand({"forward", "--list"});
    return chooseForwardPort(forwardedLocalPorts(forwards.value_or("")), drawPort, isLocalPortFree);
}

std::optional<Error> OVADBManager::startADBForwardAtPort(uint64_t port)
{
    const auto install = companionInstallFromOutput(
        performShell({"dumpsys package " + kCompanionPackage + " | grep versionCode"}).value_or(""),
        OVADBConstants::sharedInstance().apkVersion());
    if (install != CompanionInstall::Current) {
        const std::string installer = resourcePath(kCompanionInstaller);
        std::error_code ignored;
        if (!std::filesystem::is_regular_file(installer, ignored)) {
            bridgeLog("no companion installer at " + installer);
            return adb_errorWithCode(ADBErrorInstallFailed);
        }
        auto output = performADBCommand({"install", "-r", installer, "/system/app"});
        if (contains(output, "[INSTALL_FAILED_UNKNOWN_SOURCES"))
            return adb_errorWithCode(ADBErrorUnknownSources);
        if (!contains(output, "Success"))
            return adb_errorWithCode(ADBErrorInstallFailed);
    }

    performShell({"am force-stop " + kCompanionPackage});
    auto started = performShell({"am", "startservice", kCompanionService});
    bridgeLog("startservice: " + started.value_or(""));
    if (!contains(started, "Starting service"))
        return adb_errorWithCode(ADBErrorServiceNotStarted);

    const std::vector<std::string> psCheck = {"ps | grep " + kCompanionProcess};
    if (!contains(performShell(psCheck), kCompanionProcess)) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        if (!contains(performShell(psCheck), kCompanionProcess))
            return adb_errorWithCode(ADBErrorServiceNotStarted);
    }

    if (auto forwards = performADBCommand({"forward", "--list"}))
        for (uint16_t old : forwardedCompanionPorts(*forwards, serialNumber()))
            performADBCommand({"forward", "--remove", "tcp:" + std::to_string(old)});
    performADBCommand({"forward", "tcp:" + std::to_string(port), kServicePort});
    return std::nullopt;
}

void OVADBManager::getServiceInfoForDevice(const std::shared_ptr<OVDevice>& device, int retryCount,
                                           LoadCallback callback)
{
    std::weak_ptr<OVADBManager> weakSelf = weak_from_this();
    auto operation = OVADBForwardDeviceInfoOperation::make();
    operation->setSocketPort(socketPort());
    operation->setFinishBlock([weakSelf, device, retryCount, callback](std::optional<nlohmann::json> info,
                                                                       std::optional<Error> error) {
        auto self = weakSelf.lock();
        if (!self)
            return;
        if (retryCount < 1 || (!error && info)) {
            if (!info) {
                if (callback)
                    callback(error);
                return;
            }
            if (auto it = info->find("battery_level"); it != info->end())
                if (auto level = recordInteger(*it))
                    device->setBattery(*level);
            if (auto it = info->find("device_name"); it != info->end())
                if (auto name = recordString(*it))
                    device->setFriendlyName(*name);
            if (auto it = info->find("version"); it != info->end()) {
                const double version = recordDouble(*it).value_or(0);
                const double expected = OVADBConstants::sharedInstance().expectServiceVersion();
                if (version > expected)
                    error = adb_errorWithCode(ADBErrorFrameworkTooOld);
                else if (version < expected)
                    error = adb_errorWithCode(ADBErrorROMTooOld);
            }
            // The storage figures come from adb, which blocks: not on the
            // shared socket callback queue but as the manager's own adb work,
            // which a release ends.
            self->adbOperationQueue().addOperation(
                makeBlockOperation([runner = self->runner(), device, error, callback](BlockOperation& operation) {
                    diskSpaceThrough(runner, *device);
                    if (!operation.isCancelled() && callback)
                        callback(error);
                }));
            return;
        }
        bridgeLog("retry getServiceInfoForDevice");
        dispatch::Queue::main()->after(std::chrono::seconds(1), [weakSelf, device, retryCount, callback] {
            if (auto manager = weakSelf.lock())
                manager->getServiceInfoForDevice(device, retryCount - 1, callback);
        });
    });
    adbForwardOperationQueue().addOperation(operation);
}

void OVADBManager::rebuildCompanionLink()
{
    setStartingService(true);
    std::weak_ptr<OVADBManager> weakSelf = weak_from_this();
    auto operation = makeBlockOperation([weakSelf](BlockOperation&) {
        auto self = weakSelf.lock();
        if (!self)
            return;
        if (auto error = self->startADBForwardAtPort(self->socketPort())) {
            // The next heartbeat tick tries again.
            bridgeLog("companion link not rebuilt: " + error->description());
            self->setStartingService(false);
            return;
        }
        onMainQueue([weakSelf] {
            if (auto manager = weakSelf.lock()) {
                manager->keepAliveOperation();
                manager->setStartingService(false);
            }
        });
    });
    adbForwardOperationQueue().addOperation(operation);
}

}  // namespace orv
