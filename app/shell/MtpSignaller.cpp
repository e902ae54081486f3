#include "app/shell/MtpSignaller.h"

#include <cstdio>
#include <future>

#include "usbwatch/SerialWorker.h"

namespace orv {

MtpSignaller::MtpSignaller(std::unique_ptr<MtpBackend> backend)
    : backend_(std::move(backend)), worker_(std::make_unique<usb::SerialWorker>())
{
}

MtpSignaller::~MtpSignaller()
{
    worker_->post([this] {
        std::lock_guard lock(mutex_);
        for (auto& [key, handle] : handles_)
            backend_->release(handle);
        handles_.clear();
    });
    waitUntilIdle();
    worker_->stop();
}

std::string MtpSignaller::keyFor(uint16_t busLocation, uint16_t address)
{
    char key[16];
    std::snprintf(key, sizeof key, "%02x_%02x", unsigned(busLocation), unsigned(address));
    return key;
}

void MtpSignaller::sendMTPSignalToDevice(uint16_t busLocation, uint16_t address)
{
    worker_->post([this, busLocation, address] {
        const std::string key = keyFor(busLocation, address);
        if (holds(key))
            return;  // already open: a second handle would hold the phone twice
        if (!didLIBMTPInit_) {
            didLIBMTPInit_ = true;
            backend_->initialize();
        }
        MtpBackend::Handle handle = backend_->openRawDevice(busLocation, address);
        if (!handle)
            return;
        std::lock_guard lock(mutex_);
        handles_[key] = handle;
    });
}

void MtpSignaller::closeMTPDevice(uint16_t busLocation, uint16_t address)
{
    worker_->post([this, busLocation, address] {
        MtpBackend::Handle handle = nullptr;
        {
            std::lock_guard lock(mutex_);
            auto found = handles_.find(keyFor(busLocation, address));
            if (found == handles_.end())
                return;
            handle = found->second;
            handles_.erase(found);
        }
        backend_->release(handle);
    });
}

void MtpSignaller::waitUntilIdle()
{
    std::promise<void> done;
    auto future = done.get_future();
    worker_->post([&done] { done.set_value(); });
    future.wait();
}

size_t MtpSignaller::openHandleCount() const
{
    std::lock_guard lock(mutex_);
    return handles_.size();
}

bool MtpSignaller::holds(const std::string& key) const
{
    std::lock_guard lock(mutex_);
    return handles_.count(key) != 0;
}

}  // namespace orv
