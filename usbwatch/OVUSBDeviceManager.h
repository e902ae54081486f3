#pragma once
// The process-wide USB watcher: reports devices of the maker's vendor that
// the "matchingdevices" resource describes, as they arrive and leave, to one
// delegate.
//
// Threads: the backend reports on its own thread; arrivals are filtered and,
// unless donotopenDevice() is set, probe-opened (with 1 s retries) on a worker
// of the watcher's own, in arrival order with removals; the list changes and
// every delegate call happen on the `notify` executor (the main run loop).

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "usbwatch/MatchingDevices.h"
#include "usbwatch/OVUSBDevice.h"
#include "usbwatch/OVUSBDeviceManagerDelegate.h"
#include "usbwatch/UsbBackend.h"

namespace orv {

namespace usb {
class SerialWorker;
}

class OVUSBDeviceManager : public std::enable_shared_from_this<OVUSBDeviceManager> {
public:
    using Executor = std::function<void(std::function<void()>)>;
    using LineSink = std::function<void(const std::string&)>;

    struct Environment {
        std::shared_ptr<usb::UsbBackend> backend;
        Executor notify;    // list changes and delegate calls
        Executor pipeline;  // filtering and probing, in order; empty: a worker thread
        // Waits between open attempts; false ends the attempts. Empty: the
        // worker's pause, cut short when watching stops.
        std::function<bool(std::chrono::milliseconds)> pause;
        std::filesystem::path resourceDir;  // empty: usb::resourceDirectory()
        LineSink console;                   // printf-style lines; empty: standard output
        LineSink log;                       // agent build's log lines; empty: standard error
        std::chrono::milliseconds retryInterval{1000};
    };

    // The watcher of this process: libusb, posting to the main run loop.
    static std::shared_ptr<OVUSBDeviceManager> sharedInstance();
    static std::shared_ptr<OVUSBDeviceManager> create(Environment environment);
    ~OVUSBDeviceManager();

    // Reads the resource and watches every usable entry; devices already
    // attached are reported. False (with a console line) when nothing could be
    // watched, for a null delegate, and when watching has already begun.
    bool startWatchingForUSDDevices(std::shared_ptr<OVUSBDeviceManagerDelegate> delegate);
    // Registers one entry; false for an entry lacking a key or a failed
    // registration.
    bool watchDevice(const usb::MatchingEntry& entry);

    // Lists the record and tells the delegate. An arrival at a location id
    // already listed with the same address is a repeat and is dropped; with
    // another address the listed record is stale and is removed first.
    void matchingDeviceAdded(const std::shared_ptr<OVUSBDevice>& device);
    // Tells the delegate of the first record at the location id, then unlists
    // it; an unknown id does nothing.
    void matchingDeviceRemoved(int64_t locationId);
    void removeDevice(const std::shared_ptr<OVUSBDevice>& device);

    // Ends watching for good: the backend's thread and the worker are joined
    // and nothing more is posted. Run by the destructor; for an orderly exit.
    void stopWatching();

    // True once a registration succeeded.
    bool isWatching() const;
    std::vector<std::shared_ptr<OVUSBDevice>> devices() const;
    void setDevices(std::vector<std::shared_ptr<OVUSBDevice>> devices);
    bool donotopenDevice() const;
    void setDonotopenDevice(bool value);
    std::shared_ptr<OVUSBDeviceManagerDelegate> lxUSBDeviceWatchDelegate() const;

private:
    explicit OVUSBDeviceManager(Environment environment);

    struct Listener final : usb::UsbBackend::Listener {
        OVUSBDeviceManager* owner = nullptr;
        void deviceArrived(const usb::UsbDeviceFacts& facts) override;
        void deviceLeft(const usb::UsbDeviceFacts& facts) override;
    };

    void runInPipeline(std::function<void()> task);
    bool pause(std::chrono::milliseconds duration);
    void processArrival(const usb::UsbDeviceFacts& facts);
    // False when the device must not be reported.
    bool probe(const usb::UsbDeviceFacts& facts);
    void console(const std::string& line) const;
    void log(const std::string& line) const;

    Environment env_;
    Listener listener_;

    mutable std::mutex stateMutex_;
    std::shared_ptr<OVUSBDeviceManagerDelegate> delegate_;
    std::set<uint16_t> makerVendorIds_;
    bool watching_ = false;
    bool stopped_ = false;
    bool donotopenDevice_ = false;
    std::unique_ptr<usb::SerialWorker> worker_;

    mutable std::recursive_mutex lock_;  // guards devices_
    std::vector<std::shared_ptr<OVUSBDevice>> devices_;
};

}  // namespace orv
