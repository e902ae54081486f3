#pragma once
// A backend whose devices a test plugs and unplugs by hand. Reports run on
// the calling thread; devices present at watch() are reported inside it, as
// libusb does, once per matching registration.

#include <libusb.h>

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "usbwatch/UsbBackend.h"
#include "usbwatch/UsbLocationId.h"

namespace orv::usb::testing {

inline UsbDeviceFacts phone(uint16_t vendor, uint16_t product, uint8_t bus, std::vector<uint8_t> ports,
                            uint16_t address, std::optional<std::string> serial = "SERIAL1",
                            std::optional<std::string> name = "Phone") {
    UsbDeviceFacts facts;
    facts.vendorId = vendor;
    facts.productId = product;
    facts.releaseId = 0x0100;
    facts.bus = bus;
    facts.ports = std::move(ports);
    facts.address = address;
    facts.serial = std::move(serial);
    facts.product = std::move(name);
    return facts;
}

inline uint32_t locationOf(const UsbDeviceFacts& facts) { return encodeLocationId(facts.bus, facts.ports); }

class FakeUsbBackend final : public UsbBackend {
public:
    int watch(const MatchSpec& spec, Listener& listener) override {
        std::vector<UsbDeviceFacts> present;
        {
            std::lock_guard lock(mutex_);
            ++watchCalls;
            if (failNext_ != 0) {
                int code = failNext_;
                failNext_ = 0;
                return code;
            }
            registrations_.push_back({spec, &listener});
            for (const auto& [location, facts] : attached_)
                if (spec.matches(facts.vendorId, facts.productId)) present.push_back(facts);
        }
        for (const auto& facts : present) listener.deviceArrived(facts);
        return 0;
    }

    int probeOpen(const UsbDeviceFacts& facts) override {
        if (onProbe) onProbe();
        std::lock_guard lock(mutex_);
        ++openCalls;
        auto& script = openResults_[locationOf(facts)];
        if (script.empty()) return 0;
        int result = script.front();
        if (script.size() > 1) script.pop_front();  // the last result repeats
        return result;
    }

    void stop() override {
        std::lock_guard lock(mutex_);
        registrations_.clear();
        ++stopCalls;
    }

    void plug(const UsbDeviceFacts& facts) {
        for (auto* listener : listenersFor(facts, true)) listener->deviceArrived(facts);
    }

    void unplug(const UsbDeviceFacts& facts) {
        for (auto* listener : listenersFor(facts, false)) listener->deviceLeft(facts);
    }

    // Results of successive opens of the device at that location.
    void scriptOpenResults(uint32_t location, std::vector<int> results) {
        std::lock_guard lock(mutex_);
        openResults_[location] = std::deque<int>(results.begin(), results.end());
    }

    void failNextWatch(int code) {
        std::lock_guard lock(mutex_);
        failNext_ = code;
    }

    std::atomic<int> watchCalls{0};
    std::atomic<int> openCalls{0};
    std::atomic<int> stopCalls{0};
    std::function<void()> onProbe;  // set before plugging; runs on the probing thread

private:
    std::vector<Listener*> listenersFor(const UsbDeviceFacts& facts, bool attach) {
        std::lock_guard lock(mutex_);
        if (attach)
            attached_[locationOf(facts)] = facts;
        else
            attached_.erase(locationOf(facts));
        std::vector<Listener*> listeners;
        for (const auto& [spec, listener] : registrations_)
            if (spec.matches(facts.vendorId, facts.productId)) listeners.push_back(listener);
        return listeners;
    }

    std::mutex mutex_;
    std::vector<std::pair<MatchSpec, Listener*>> registrations_;
    std::map<uint32_t, UsbDeviceFacts> attached_;
    std::map<uint32_t, std::deque<int>> openResults_;
    int failNext_ = 0;
};

}  // namespace orv::usb::testing
