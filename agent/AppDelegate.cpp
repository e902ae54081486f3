#include "agent/AppDelegate.h"

#include <algorithm>
#include <cstdio>

#include "agent/LaunchArgument.h"
#include "usbwatch/InstanceLock.h"

namespace orv::agent {

AppDelegate::AppDelegate(std::weak_ptr<OVUSBDeviceManager> watcher, Options options)
    : watcher_(std::move(watcher)), options_(std::move(options)) {}

bool AppDelegate::applicationDidFinishLaunching() {
    devices_.clear();
    auto watcher = watcher_.lock();
    if (!watcher) return false;
    // Opening a phone needs rights the agent has no use for.
    watcher->setDonotopenDevice(true);
    if (!watcher->startWatchingForUSDDevices(shared_from_this())) {
        log("OrvaneAgent: no USB device is watched; the agent stays idle");
        return false;
    }
    return true;
}

void AppDelegate::didUSDDeviceAdded(const std::shared_ptr<OVUSBDevice>& device) {
    devices_.clear();
    auto watcher = watcher_.lock();
    if (!watcher) return;
    for (const auto& listed : watcher->devices()) {
        devices_.push_back(listed);
        if (listed->locationId() == device->locationId()) launchDevice(listed);
    }
}

void AppDelegate::didUSDDeviceRemoved(const std::shared_ptr<OVUSBDevice>& device) {
    auto found = std::find_if(devices_.begin(), devices_.end(),
                              [&](const auto& d) { return d->locationId() == device->locationId(); });
    if (found != devices_.end()) devices_.erase(found);
}

void AppDelegate::launchDevice(const std::shared_ptr<OVUSBDevice>& device) {
    const std::string argument = launchArgument(*device);
    // A running application sees the phone through its own watcher; a second
    // copy would only tell the user it quits.
    if (usb::InstanceLock::isHeld(usb::kApplicationLockName)) {
        log("OrvaneAgent: Orvane is already running; not launched for " + argument);
        return;
    }
    const std::string application = options_.application.string();
    log("OrvaneAgent launchApplicationAtURL=" + application + " arguments=(-s, " + argument + ")");
    std::string error;
    if (!options_.launcher || !options_.launcher->launch(application, {"-s", argument}, &error))
        log("OrvaneAgent launchApplicationAtURL error=" + error + " [mainBundle bundleURL]=" + application);
}

void AppDelegate::log(const std::string& line) const {
    if (options_.log) {
        options_.log(line);
        return;
    }
    std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace orv::agent
