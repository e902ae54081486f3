#include "usbwatch/OVUSBDeviceManager.h"

#include <libusb.h>

#include <algorithm>
#include <cstdio>

#include "usbwatch/ProgramPaths.h"
#include "usbwatch/SerialWorker.h"
#include "usbwatch/TextFormat.h"
#include "usbwatch/UsbErrorText.h"
#include "usbwatch/UsbLocationId.h"

// The agent's build adds its own log lines; the application's leaves them out.
#if defined(OV_USB_AGENT_LOG) && OV_USB_AGENT_LOG
#define OV_AGENT_LOG(...) log(usb::format(__VA_ARGS__))
#else
#define OV_AGENT_LOG(...) ((void)0)
#endif

namespace orv {

namespace {
constexpr int kOpenAttempts = 4;
}

std::shared_ptr<OVUSBDeviceManager> OVUSBDeviceManager::create(Environment environment) {
    return std::shared_ptr<OVUSBDeviceManager>(new OVUSBDeviceManager(std::move(environment)));
}

OVUSBDeviceManager::OVUSBDeviceManager(Environment environment) : env_(std::move(environment)) {
    listener_.owner = this;
    if (env_.resourceDir.empty()) env_.resourceDir = usb::resourceDirectory();
}

OVUSBDeviceManager::~OVUSBDeviceManager() { stopWatching(); }

void OVUSBDeviceManager::stopWatching() {
    std::unique_ptr<usb::SerialWorker> worker;
    {
        std::lock_guard lock(stateMutex_);
        if (stopped_) return;
        stopped_ = true;
    }
    // The backend first, so nothing new reaches the worker; then the worker,
    // which cuts short a probe's pause.
    if (env_.backend) env_.backend->stop();
    {
        std::lock_guard lock(stateMutex_);
        worker = std::move(worker_);
    }
    if (worker) worker->stop();
}

bool OVUSBDeviceManager::startWatchingForUSDDevices(std::shared_ptr<OVUSBDeviceManagerDelegate> delegate) {
    if (!delegate) {
        OV_AGENT_LOG("provide delegate");
        return false;
    }
    {
        std::lock_guard lock(stateMutex_);
        if (watching_ || stopped_) return false;
        delegate_ = std::move(delegate);
    }

    const auto file = env_.resourceDir / usb::kMatchingDevicesFile;
    usb::MatchingDevices matching = usb::MatchingDevices::load(file);
    if (!matching.problem.empty()) {
        console(usb::format("no USB devices watched: %s\n", matching.problem.c_str()));
        return false;
    }
    if (matching.makerVendorIds.empty()) {
        console(usb::format("no USB devices watched: %s lists no makerVendorIds\n", file.c_str()));
        return false;
    }
    {
        std::lock_guard lock(stateMutex_);
        makerVendorIds_ = matching.makerVendorIds;
    }
    int registered = 0;
    for (const auto& entry : matching.entries)
        if (watchDevice(entry)) ++registered;
    if (registered == 0) {
        console(usb::format("no USB devices watched: no entry of %s could be registered\n", file.c_str()));
        return false;
    }
    return true;
}

bool OVUSBDeviceManager::watchDevice(const usb::MatchingEntry& entry) {
    if (!entry.spec) {
        OV_AGENT_LOG("wrong device in devices.plist %s", entry.description.c_str());
        return false;
    }
    {
        std::lock_guard lock(stateMutex_);
        if (stopped_ || !env_.backend) return false;
        if (!env_.pipeline && !worker_) worker_ = std::make_unique<usb::SerialWorker>();
    }
    int result = env_.backend->watch(*entry.spec, listener_);
    if (result != 0) {
        console(usb::format("libusb_hotplug_register_callback failed %u (%s)\n", static_cast<unsigned>(result),
                            usb::usbErrorText(result).c_str()));
        return false;
    }
    std::lock_guard lock(stateMutex_);
    watching_ = true;
    return true;
}

void OVUSBDeviceManager::Listener::deviceArrived(const usb::UsbDeviceFacts& facts) {
    owner->runInPipeline([owner = owner, facts] { owner->processArrival(facts); });
}

void OVUSBDeviceManager::Listener::deviceLeft(const usb::UsbDeviceFacts& facts) {
    // Through the pipeline too, so a removal never overtakes the arrival
    // still being probed before it.
    const int64_t locationId = usb::encodeLocationId(facts.bus, facts.ports);
    owner->runInPipeline([owner = owner, locationId] {
        owner->env_.notify([weak = owner->weak_from_this(), locationId] {
            if (auto self = weak.lock()) self->matchingDeviceRemoved(locationId);
        });
    });
}

void OVUSBDeviceManager::runInPipeline(std::function<void()> task) {
    if (env_.pipeline) {
        env_.pipeline(std::move(task));
        return;
    }
    std::lock_guard lock(stateMutex_);
    if (worker_) worker_->post(std::move(task));
}

bool OVUSBDeviceManager::pause(std::chrono::milliseconds duration) {
    if (env_.pause) return env_.pause(duration);
    usb::SerialWorker* worker = nullptr;
    {
        std::lock_guard lock(stateMutex_);
        worker = worker_.get();
    }
    // The worker outlives every task it runs, and pauses run only in them.
    return worker ? worker->pause(duration) : false;
}

void OVUSBDeviceManager::processArrival(const usb::UsbDeviceFacts& facts) {
    bool wanted = false;
    bool probing = false;
    {
        std::lock_guard lock(stateMutex_);
        wanted = makerVendorIds_.count(facts.vendorId) != 0;
        probing = !donotopenDevice_;
    }
    if (!wanted) {
        console(usb::format("found device i didn't want (vendor = %d, product = %d)\n", facts.vendorId,
                            facts.productId));
        return;
    }
    if (probing && !probe(facts)) return;

    const uint32_t location = usb::encodeLocationId(facts.bus, facts.ports);
    auto device = std::make_shared<OVUSBDevice>(static_cast<int64_t>(location));
    device->setAddressId(facts.address);
    device->setVenderId(facts.vendorId);
    device->setProductId(facts.productId);
    device->setReleaseId(facts.releaseId);
    device->setName(facts.product ? *facts.product : facts.databaseName ? *facts.databaseName : "Unknown Device");
    OVUSBDevice::Properties properties = facts.properties;
    if (facts.serial) properties[OVUSBDevice::kSerialNumberKey] = *facts.serial;
    if (facts.product) properties[OVUSBDevice::kProductNameKey] = *facts.product;
    device->setProperties(std::move(properties));

    env_.notify([weak = weak_from_this(), device] {
        if (auto self = weak.lock()) self->matchingDeviceAdded(device);
    });
}

bool OVUSBDeviceManager::probe(const usb::UsbDeviceFacts& facts) {
    int result = 0;
    for (int attempt = 1; attempt <= kOpenAttempts; ++attempt) {
        result = env_.backend->probeOpen(facts);
        if (result == 0) return true;
        if (result == LIBUSB_ERROR_ACCESS) {
            // Without a udev rule nobody but root may open the phone; that says
            // nothing about another program holding it, so report it anyway.
            console(usb::format(
                "cannot open device (vendor = %d, product = %d): %s; reporting it anyway. "
                "A udev rule grants access, e.g. in /etc/udev/rules.d/70-orvane.rules: "
                "SUBSYSTEM==\"usb\", ATTR{idVendor}==\"%04x\", TAG+=\"uaccess\"\n",
                facts.vendorId, facts.productId, usb::usbErrorText(result).c_str(), facts.vendorId));
            return true;
        }
        if (attempt < kOpenAttempts && !pause(env_.retryInterval)) return false;
    }
    console(usb::format("unable to open device: %s\n", usb::usbErrorText(result).c_str()));
    return false;
}

void OVUSBDeviceManager::matchingDeviceAdded(const std::shared_ptr<OVUSBDevice>& device) {
    if (!device) return;
    const int64_t locationId = device->locationId();
    std::shared_ptr<OVUSBDevice> listed;
    {
        std::lock_guard lock(lock_);
        auto found = std::find_if(devices_.begin(), devices_.end(),
                                  [&](const auto& d) { return d->locationId() == locationId; });
        if (found != devices_.end()) listed = *found;
    }
    if (listed) {
        // The same plug reported twice (overlapping entries, or the stack
        // repeating an arrival) must not make a second record.
        if (listed->addressId() == device->addressId()) return;
        // A new device at the port of a listed one: that one left unseen.
        matchingDeviceRemoved(locationId);
    }
    {
        std::lock_guard lock(lock_);
        devices_.push_back(device);
    }
    OV_AGENT_LOG("matchingDeviceAdded=%lu", static_cast<unsigned long>(locationId));
    if (auto delegate = lxUSBDeviceWatchDelegate()) delegate->didUSDDeviceAdded(device);
}

void OVUSBDeviceManager::matchingDeviceRemoved(int64_t locationId) {
    std::shared_ptr<OVUSBDevice> device;
    {
        std::lock_guard lock(lock_);
        auto found = std::find_if(devices_.begin(), devices_.end(),
                                  [&](const auto& d) { return d->locationId() == locationId; });
        if (found == devices_.end()) return;
        device = *found;
    }
    OV_AGENT_LOG("matchingDeviceRemoved=%lu", static_cast<unsigned long>(locationId));
    if (auto delegate = lxUSBDeviceWatchDelegate()) delegate->didUSDDeviceRemoved(device);
    std::lock_guard lock(lock_);
    auto found = std::find(devices_.begin(), devices_.end(), device);
    if (found != devices_.end()) devices_.erase(found);
}

void OVUSBDeviceManager::removeDevice(const std::shared_ptr<OVUSBDevice>& device) {
    std::lock_guard lock(lock_);
    auto found = std::find(devices_.begin(), devices_.end(), device);
    if (auto delegate = lxUSBDeviceWatchDelegate()) delegate->didUSDDeviceRemoved(device);
    if (found == devices_.end()) return;
    // The delegate may have changed the list meanwhile.
    found = std::find(devices_.begin(), devices_.end(), device);
    if (found != devices_.end()) devices_.erase(found);
}

bool OVUSBDeviceManager::isWatching() const {
    std::lock_guard lock(stateMutex_);
    return watching_;
}

std::vector<std::shared_ptr<OVUSBDevice>> OVUSBDeviceManager::devices() const {
    std::lock_guard lock(lock_);
    return devices_;
}

void OVUSBDeviceManager::setDevices(std::vector<std::shared_ptr<OVUSBDevice>> devices) {
    std::lock_guard lock(lock_);
    devices_ = std::move(devices);
}

bool OVUSBDeviceManager::donotopenDevice() const {
    std::lock_guard lock(stateMutex_);
    return donotopenDevice_;
}

void OVUSBDeviceManager::setDonotopenDevice(bool value) {
    std::lock_guard lock(stateMutex_);
    donotopenDevice_ = value;
}

std::shared_ptr<OVUSBDeviceManagerDelegate> OVUSBDeviceManager::lxUSBDeviceWatchDelegate() const {
    std::lock_guard lock(stateMutex_);
    return delegate_;
}

void OVUSBDeviceManager::console(const std::string& line) const {
    if (env_.console) {
        env_.console(line);
        return;
    }
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
}

void OVUSBDeviceManager::log(const std::string& line) const {
    if (env_.log) {
        env_.log(line);
        return;
    }
    std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace orv
