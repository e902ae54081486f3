#pragma once
// A minimal device window: a plain top-level window naming the phone, with the
// close guard and host reports every device window has. Stands in until the
// full device window is registered with the application delegate.

#include <QObject>
#include <QPointer>
#include <memory>

#include "app/shell/DeviceWindow.h"

class QLabel;

namespace orv {

class PlaceholderDeviceWindow : public QObject, public DeviceWindow {
    Q_OBJECT

public:
    explicit PlaceholderDeviceWindow(DeviceWindowHost& host);
    ~PlaceholderDeviceWindow() override;

    static DeviceWindowFactory factory();

    void setDevice(std::shared_ptr<OVUSBDevice> device) override { device_ = std::move(device); }
    std::shared_ptr<OVUSBDevice> device() const override { return device_; }
    void setLocationId(int64_t locationId) override { locationId_ = locationId; }
    int64_t locationId() const override { return locationId_; }
    std::string serialNumber() const override { return serialNumber_; }
    void loadWindow() override;
    QWidget* window() const override { return window_; }
    void loadDeviceWithSerialNumber(const std::string& serialNumber) override;
    void resetTitle(bool showDeviceName) override;
    bool canClose() const override;
    void setDeviceEjected(bool ejected) override { deviceEjected_ = ejected; }
    bool deviceEjected() const override { return deviceEjected_; }
    void closeThisWindow(QObject* sender) override;

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    DeviceWindowHost& host_;
    std::shared_ptr<OVUSBDevice> device_;
    int64_t locationId_ = 0;
    std::string serialNumber_;
    bool deviceEjected_ = false;
    bool closing_ = false;
    double launchTime_ = 0;
    QPointer<QWidget> window_;
    QLabel* label_ = nullptr;
};

}  // namespace orv
