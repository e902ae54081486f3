#pragma once
// Stand-ins for the shell's tests: a private home for settings, runtime and
// cache folders; device windows, MTP, agent, dialogs and USB backend that
// record what the application delegate asks of them.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QWidget>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/shell/AgentControl.h"
#include "app/shell/DeviceWindow.h"
#include "app/shell/MtpSignaller.h"
#include "app/shell/Prefs.h"
#include "app/shell/ReachabilityBackend.h"
#include "app/shell/ShellDialogs.h"
#include "usbwatch/OVUSBDeviceManager.h"
#include "usbwatch/UsbBackend.h"
#include "VirtualScheduler.h"

namespace orv::test {

// XDG_CONFIG_HOME, XDG_CACHE_HOME and XDG_RUNTIME_DIR below one temporary
// folder, and the settings file there; crash handlers off, first launch done.
class PrivateHome {
public:
    PrivateHome()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
        QCoreApplication::setApplicationName(QStringLiteral("Orvane"));
        for (const char* name : {"config", "cache", "runtime"})
            QDir(dir_.path()).mkpath(QString::fromLatin1(name));
        QFile::setPermissions(path("runtime"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_CONFIG_HOME", path("config").toUtf8());
        qputenv("XDG_CACHE_HOME", path("cache").toUtf8());
        qputenv("XDG_RUNTIME_DIR", path("runtime").toUtf8());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, path("config"));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, path("config"));
        Prefs::registerUserDefaults();
        Prefs::shared().setValue(QStringLiteral("InstallUncaughtExceptionHandler"), false);
        Prefs::shared().setValue(QStringLiteral("InstallUncaughtSignalHandler"), false);
        Prefs::shared().setValue(QStringLiteral("firstLaunchAt"), QStringLiteral("2026-01-01T00:00:00Z"));
    }
    ~PrivateHome()
    {
        qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("XDG_CACHE_HOME");
        qunsetenv("XDG_RUNTIME_DIR");
    }
    QString path(const char* sub) const { return QDir(dir_.path()).filePath(QString::fromLatin1(sub)); }

private:
    QTemporaryDir dir_;
};

// A device window with a real (hidden until loaded) top-level widget and the
// 0.5 s close guard on the virtual clock.
class FakeDeviceWindow final : public DeviceWindow {
public:
    FakeDeviceWindow(DeviceWindowHost& host, VirtualScheduler& clock) : host_(host), clock_(clock) {}
    void setDevice(std::shared_ptr<OVUSBDevice> device) override { device_ = std::move(device); }
    std::shared_ptr<OVUSBDevice> device() const override { return device_; }
    void setLocationId(int64_t id) override { locationId_ = id; }
    int64_t locationId() const override { return locationId_; }
    std::string serialNumber() const override { return serial_; }
    void loadWindow() override
    {
        window_ = std::make_unique<QWidget>();
        window_->resize(400, 300);
        loadedAt_ = clock_.now();
    }
    QWidget* window() const override { return window_.get(); }
    void loadDeviceWithSerialNumber(const std::string& serial) override
    {
        serial_ = serial;
        window_->show();
    }
    void resetTitle(bool showName) override { titles.push_back(showName); }
    bool canClose() const override { return clock_.now() - loadedAt_ > 0.5; }
    void setDeviceEjected(bool ejected) override { ejected_ = ejected; }
    bool deviceEjected() const override { return ejected_; }
    void closeThisWindow(QObject* sender) override
    {
        if (closed || !canClose())
            return;
        closed = true;
        if (sender)
            host_.manuallyWindowControllerClose(*this);
        window_->hide();
        host_.didMainWindowControllerClose(*this);
    }

    std::vector<bool> titles;
    bool closed = false;

private:
    DeviceWindowHost& host_;
    VirtualScheduler& clock_;
    std::shared_ptr<OVUSBDevice> device_;
    int64_t locationId_ = 0;
    std::string serial_;
    bool ejected_ = false;
    double loadedAt_ = 0;
    std::unique_ptr<QWidget> window_;
};

// Hands out numbered fake handles and records every call.
class FakeMtpBackend final : public MtpBackend {
public:
    struct Ledger {
        std::mutex mutex;
        int initCalls = 0;
        std::vector<std::pair<uint16_t, uint16_t>> opens;
        std::vector<uintptr_t> released;
        std::vector<std::pair<uint16_t, uint16_t>> attached;  // what detection finds
        uintptr_t next = 1;
    };
    explicit FakeMtpBackend(std::shared_ptr<Ledger> ledger) : ledger_(std::move(ledger)) {}
    void initialize() override
    {
        std::lock_guard lock(ledger_->mutex);
        ++ledger_->initCalls;
    }
    Handle openRawDevice(uint16_t bus, uint16_t number) override
    {
        std::lock_guard lock(ledger_->mutex);
        ledger_->opens.emplace_back(bus, number);
        for (const auto& device : ledger_->attached) {
            if (device == std::make_pair(bus, number))
                return reinterpret_cast<Handle>(ledger_->next++);
        }
        return nullptr;
    }
    void release(Handle handle) override
    {
        std::lock_guard lock(ledger_->mutex);
        ledger_->released.push_back(reinterpret_cast<uintptr_t>(handle));
    }

private:
    std::shared_ptr<Ledger> ledger_;
};

class FakeAgent final : public AgentControl {
public:
    QString agentUrl() const override { return url; }
    void killAgent() override { ++kills; }
    void launchAgent() override { ++launches; }
    QString url = QStringLiteral("/opt/orvane/bin/OrvaneAgent");
    int kills = 0;
    int launches = 0;
};

class FakeDialogs final : public ShellDialogs {
public:
    FakeDialogs() { ShellDialogs::setCurrent(this); }
    ~FakeDialogs() override { ShellDialogs::setCurrent(nullptr); }
    void showAlert(const QString& message, const QString& informative) override
    {
        alerts.emplace_back(message, informative);
    }
    bool askFirstLaunchQuestion() override
    {
        ++questions;
        return answerYes;
    }
    void presentError(const Error& error) override { errors.push_back(error); }

    std::vector<std::pair<QString, QString>> alerts;
    std::vector<Error> errors;
    int questions = 0;
    bool answerYes = false;
};

// A USB backend with nothing attached; tests set the watcher's list by hand.
class QuietUsbBackend final : public usb::UsbBackend {
public:
    int watch(const usb::MatchSpec&, Listener&) override
    {
        ++watchCalls;
        return 0;
    }
    int probeOpen(const usb::UsbDeviceFacts&) override { return 0; }
    void stop() override {}
    std::atomic<int> watchCalls{0};
};

// A USB backend whose devices the test plugs and unplugs, as libusb's
// hotplug reports them; reports run on the test's thread.
class HandPluggedUsbBackend final : public usb::UsbBackend {
public:
    int watch(const usb::MatchSpec& spec, Listener& listener) override
    {
        std::lock_guard lock(mutex_);
        registrations_.emplace_back(spec, &listener);
        return 0;
    }
    int probeOpen(const usb::UsbDeviceFacts&) override { return 0; }
    void stop() override
    {
        std::lock_guard lock(mutex_);
        registrations_.clear();
    }
    bool watching() const
    {
        std::lock_guard lock(mutex_);
        return !registrations_.empty();
    }
    void plug(const usb::UsbDeviceFacts& facts)
    {
        for (Listener* listener : listenersFor(facts))
            listener->deviceArrived(facts);
    }
    void unplug(const usb::UsbDeviceFacts& facts)
    {
        for (Listener* listener : listenersFor(facts))
            listener->deviceLeft(facts);
    }

private:
    std::vector<Listener*> listenersFor(const usb::UsbDeviceFacts& facts) const
    {
        std::lock_guard lock(mutex_);
        std::vector<Listener*> listeners;
        for (const auto& [spec, listener] : registrations_)
            if (spec.matches(facts.vendorId, facts.productId))
                listeners.push_back(listener);
        return listeners;
    }

    mutable std::mutex mutex_;
    std::vector<std::pair<usb::MatchSpec, Listener*>> registrations_;
};

// Flags set by the test; change() calls the registered callback.
class FakeReachabilityBackend final : public ReachabilityBackend {
public:
    struct State {
        std::optional<uint32_t> flags = 0x20002u;  // reachable, direct
        std::function<void()> callback;
        int registrations = 0;
    };
    explicit FakeReachabilityBackend(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::optional<uint32_t> flags() const override { return state_->flags; }
    bool setChangeCallback(std::function<void()> changed) override
    {
        if (changed)
            ++state_->registrations;
        state_->callback = std::move(changed);
        return true;
    }

private:
    std::shared_ptr<State> state_;
};

inline std::shared_ptr<OVUSBDevice> makeDevice(int64_t locationId, uint16_t address, const std::string& serial,
                                               double createdAt, const std::string& name = "Phone")
{
    auto device = std::make_shared<OVUSBDevice>(locationId);
    device->setAddressId(address);
    device->setCreateOn(createdAt);
    device->setName(name);
    device->setVenderId(0x18d1);
    device->setProductId(0x4ee7);
    if (!serial.empty())
        device->setProperties({{OVUSBDevice::kSerialNumberKey, serial}});
    return device;
}

}  // namespace orv::test
