#include "usbwatch/LibusbBackend.h"

#include <libudev.h>
#include <libusb.h>
#include <sys/time.h>

#include <cstdio>
#include <string>

#include "usbwatch/TextFormat.h"

namespace orv::usb {

struct LibusbBackend::Registration {
    Listener* listener = nullptr;
    libusb_hotplug_callback_handle handle = 0;

    static int LIBUSB_CALL callback(libusb_context*, libusb_device* device, libusb_hotplug_event event,
                                    void* data) {
        auto* self = static_cast<Registration*>(data);
        if (event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED)
            self->listener->deviceArrived(factsOf(device, true));
        else if (event == LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT)
            self->listener->deviceLeft(factsOf(device, false));
        return 0;  // stay registered
    }
};

namespace {

std::optional<std::string> text(const char* value) {
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

// The kernel names a device by bus and port path: "1-2.3"; a root hub "usb1".
std::string sysfsName(uint8_t bus, const std::vector<uint8_t>& ports) {
    if (ports.empty()) return format("usb%u", unsigned{bus});
    std::string name = format("%u-", unsigned{bus});
    for (std::size_t i = 0; i < ports.size(); ++i) name += format(i ? ".%u" : "%u", unsigned{ports[i]});
    return name;
}

void readUdev(UsbDeviceFacts& facts) {
    struct udev* udev = udev_new();
    if (!udev) return;
    const std::string name = sysfsName(facts.bus, facts.ports);
    if (struct udev_device* device = udev_device_new_from_subsystem_sysname(udev, "usb", name.c_str())) {
        facts.serial = text(udev_device_get_sysattr_value(device, "serial"));
        facts.product = text(udev_device_get_sysattr_value(device, "product"));
        facts.databaseName = text(udev_device_get_property_value(device, "ID_MODEL_FROM_DATABASE"));
        if (auto maker = text(udev_device_get_sysattr_value(device, "manufacturer")))
            facts.properties["USB Vendor Name"] = *maker;
        if (auto path = text(udev_device_get_devpath(device))) facts.properties["devpath"] = *path;
        udev_device_unref(device);
    }
    udev_unref(udev);
}

}  // namespace

UsbDeviceFacts LibusbBackend::factsOf(libusb_device* device, bool withUdev) {
    UsbDeviceFacts facts;
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(device, &descriptor) == 0) {
        facts.vendorId = descriptor.idVendor;
        facts.productId = descriptor.idProduct;
        facts.releaseId = descriptor.bcdDevice;
    }
    facts.bus = libusb_get_bus_number(device);
    facts.address = libusb_get_device_address(device);
    uint8_t ports[8];
    int depth = libusb_get_port_numbers(device, ports, sizeof ports);
    if (depth > 0) facts.ports.assign(ports, ports + depth);
    facts.properties["idVendor"] = format("%04x", unsigned{facts.vendorId});
    facts.properties["idProduct"] = format("%04x", unsigned{facts.productId});
    facts.properties["bcdDevice"] = format("%04x", unsigned{facts.releaseId});
    facts.properties["busnum"] = std::to_string(facts.bus);
    facts.properties["devnum"] = std::to_string(facts.address);
    facts.properties["sysname"] = sysfsName(facts.bus, facts.ports);
    if (withUdev) readUdev(facts);
    return facts;
}

LibusbBackend::LibusbBackend() = default;

LibusbBackend::~LibusbBackend() { stop(); }

int LibusbBackend::ensureContext() {
    if (context_) return 0;
    int result = libusb_init(&context_);
    if (result != 0) {
        context_ = nullptr;
        return result;
    }
    if (!libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG)) {
        libusb_exit(context_);
        context_ = nullptr;
        return LIBUSB_ERROR_NOT_SUPPORTED;
    }
    eventThread_ = std::thread([this] { handleEvents(); });
    return 0;
}

void LibusbBackend::handleEvents() {
    while (!stopping_.load()) {
        timeval timeout{1, 0};
        libusb_handle_events_timeout_completed(context_, &timeout, nullptr);
    }
}

int LibusbBackend::watch(const MatchSpec& spec, Listener& listener) {
    std::lock_guard lock(mutex_);
    if (stopped_) return LIBUSB_ERROR_NOT_FOUND;
    if (int result = ensureContext(); result != 0) return result;
    auto registration = std::make_unique<Registration>();
    registration->listener = &listener;
    const int product = spec.productId ? int{*spec.productId} : LIBUSB_HOTPLUG_MATCH_ANY;
    // Devices already attached are reported from inside this call.
    int result = libusb_hotplug_register_callback(
        context_, LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT, LIBUSB_HOTPLUG_ENUMERATE,
        spec.vendorId, product, LIBUSB_HOTPLUG_MATCH_ANY, &Registration::callback, registration.get(),
        &registration->handle);
    if (result != LIBUSB_SUCCESS) return result;
    registrations_.push_back(std::move(registration));
    return 0;
}

int LibusbBackend::probeOpen(const UsbDeviceFacts& facts) {
    std::lock_guard lock(mutex_);
    if (!context_ || stopped_) return LIBUSB_ERROR_NO_DEVICE;
    libusb_device** list = nullptr;
    ssize_t count = libusb_get_device_list(context_, &list);
    if (count < 0) return static_cast<int>(count);
    int result = LIBUSB_ERROR_NO_DEVICE;
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device* device = list[i];
        if (libusb_get_bus_number(device) != facts.bus || libusb_get_device_address(device) != facts.address)
            continue;
        libusb_device_handle* handle = nullptr;
        result = libusb_open(device, &handle);
        if (result == 0) libusb_close(handle);
        break;
    }
    libusb_free_device_list(list, 1);
    return result;
}

void LibusbBackend::stop() {
    {
        std::lock_guard lock(mutex_);
        if (stopped_) return;
        stopped_ = true;
        stopping_.store(true);
        if (context_) libusb_interrupt_event_handler(context_);
    }
    if (eventThread_.joinable()) eventThread_.join();
    std::lock_guard lock(mutex_);
    if (!context_) return;
    for (auto& registration : registrations_) libusb_hotplug_deregister_callback(context_, registration->handle);
    registrations_.clear();
    libusb_exit(context_);
    context_ = nullptr;
}

}  // namespace orv::usb
