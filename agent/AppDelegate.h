#pragma once
// The agent's whole job: watch USB without opening devices and, for each
// phone that arrives, start the application with the phone's identity
// ("-s serial:locationId:address"), unless the application already runs.
// Runs on the main run loop's thread, where the watcher reports.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "agent/Launcher.h"
#include "usbwatch/OVUSBDeviceManager.h"

namespace orv::agent {

class AppDelegate final : public OVUSBDeviceManagerDelegate, public std::enable_shared_from_this<AppDelegate> {
public:
    struct Options {
        std::filesystem::path application;  // the program to start
        std::shared_ptr<Launcher> launcher;
        std::function<void(const std::string&)> log;  // empty: standard error
    };

    AppDelegate(std::weak_ptr<OVUSBDeviceManager> watcher, Options options);

    // Starts watching; false (logged) when nothing could be watched, which
    // leaves the agent idle.
    bool applicationDidFinishLaunching();
    void applicationWillTerminate() {}

    void didUSDDeviceAdded(const std::shared_ptr<OVUSBDevice>& device) override;
    void didUSDDeviceRemoved(const std::shared_ptr<OVUSBDevice>& device) override;
    void launchDevice(const std::shared_ptr<OVUSBDevice>& device);

    // The agent's copy of the watcher's list, refreshed at each arrival.
    const std::vector<std::shared_ptr<OVUSBDevice>>& devices() const { return devices_; }

private:
    void log(const std::string& line) const;

    std::weak_ptr<OVUSBDeviceManager> watcher_;
    Options options_;
    std::vector<std::shared_ptr<OVUSBDevice>> devices_;
};

}  // namespace orv::agent
