#pragma once
// The device window as the application delegate drives it: one per attached
// phone, opened for a USB device record and loading the phone by its serial
// number. The delegate holds each window through a shared_ptr until the window
// reports that it closed; the window reports through its DeviceWindowHost.
// Everything here runs on the main thread.

#include <QObject>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "usbwatch/OVUSBDevice.h"

namespace orv {

class DeviceWindow;

// What a device window tells the application delegate.
class DeviceWindowHost {
public:
    virtual ~DeviceWindowHost() = default;
    // The user closed or ejected the window while the phone stays plugged in.
    virtual void manuallyWindowControllerClose(DeviceWindow& controller) = 0;
    // The window is about to close, whatever the reason. The host may drop
    // its reference; the window is destroyed later, never inside this call.
    virtual void didMainWindowControllerClose(DeviceWindow& controller) = 0;
};

class DeviceWindow {
public:
    virtual ~DeviceWindow() = default;

    virtual void setDevice(std::shared_ptr<OVUSBDevice> device) = 0;
    virtual std::shared_ptr<OVUSBDevice> device() const = 0;
    virtual void setLocationId(int64_t locationId) = 0;
    virtual int64_t locationId() const = 0;
    // The serial number given to loadDeviceWithSerialNumber (empty before).
    virtual std::string serialNumber() const = 0;

    // Builds the window (not shown yet) and starts its 0.5 s close guard.
    virtual void loadWindow() = 0;
    // The top-level window, once loaded.
    virtual QWidget* window() const = 0;
    // Shows the window and loads the phone.
    virtual void loadDeviceWithSerialNumber(const std::string& serialNumber) = 0;
    // True: the title shows the phone's name; false: the application's title.
    virtual void resetTitle(bool showDeviceName) = 0;
    // False during the first 0.5 s after loadWindow.
    virtual bool canClose() const = 0;
    virtual void setDeviceEjected(bool ejected) = 0;
    virtual bool deviceEjected() const = 0;
    // Closes the window (does nothing while canClose() is false). A non-null
    // sender means the user asked, which the host learns first.
    virtual void closeThisWindow(QObject* sender) = 0;
};

// Makes the window the layout "MainWindow" describes, reporting to `host`.
using DeviceWindowFactory = std::function<std::shared_ptr<DeviceWindow>(DeviceWindowHost& host)>;

}  // namespace orv
