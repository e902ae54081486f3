#pragma once
// Opens each newly attached phone as an MTP device and holds the handle
// while its window is open (some phones wait for an MTP open before they
// offer their debugging interface). Every libmtp call runs on one worker
// thread of this object, in the order asked. One handle per phone, keyed by
// "%02x_%02x" of bus location and USB address: signalling a phone that is
// already open keeps its handle, and closing releases only that phone's
// handle, once.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace orv {

namespace usb {
class SerialWorker;
}

// The libmtp calls the signaller needs; tests record them with a fake.
class MtpBackend {
public:
    using Handle = void*;
    virtual ~MtpBackend() = default;
    // LIBMTP_Init; called once, before anything else.
    virtual void initialize() = 0;
    // Detects the raw devices, opens (uncached) the first at this bus location
    // and device number, and frees the list. Null when none matches or the
    // open fails.
    virtual Handle openRawDevice(uint16_t busLocation, uint16_t deviceNumber) = 0;
    virtual void release(Handle handle) = 0;

    // libmtp itself.
    static std::unique_ptr<MtpBackend> libmtp();
};

class MtpSignaller {
public:
    explicit MtpSignaller(std::unique_ptr<MtpBackend> backend);
    // Releases every handle still held, on the worker, and joins it.
    ~MtpSignaller();
    MtpSignaller(const MtpSignaller&) = delete;
    MtpSignaller& operator=(const MtpSignaller&) = delete;

    static std::string keyFor(uint16_t busLocation, uint16_t address);

    // Asynchronous; failures are silent.
    void sendMTPSignalToDevice(uint16_t busLocation, uint16_t address);
    void closeMTPDevice(uint16_t busLocation, uint16_t address);

    // Blocks until everything asked before has run (tests, orderly exit).
    void waitUntilIdle();
    // The keys holding a handle.
    size_t openHandleCount() const;
    bool holds(const std::string& key) const;

private:
    std::unique_ptr<MtpBackend> backend_;
    bool didLIBMTPInit_ = false;  // worker only
    mutable std::mutex mutex_;
    std::map<std::string, MtpBackend::Handle> handles_;  // written on the worker
    std::unique_ptr<usb::SerialWorker> worker_;
};

}  // namespace orv
