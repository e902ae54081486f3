#pragma once
// A socket descriptor served by a run loop: it calls back on the loop's thread
// when the descriptor becomes readable or writable, for the callback types it
// was made with. A callback type that has fired stays off until it is enabled
// again, unless its automatic re-enable flag is set. Invalidating removes it
// from its loop and, with the close-on-invalidate flag, closes the descriptor.
// Meant for the run loop's own thread.

#include "core/sockets/SocketData.h"
#include "platform/RunLoop.h"

#include <functional>
#include <memory>
#include <vector>

namespace orv {

class RunLoopSource;

class RunLoopSocket : public std::enable_shared_from_this<RunLoopSocket> {
    struct PrivateTag {};

public:
    enum CallBackType : unsigned { kReadCallBack = 1, kWriteCallBack = 8 };
    enum Flag : unsigned {
        kAutomaticallyReenableReadCallBack = 1,
        kAutomaticallyReenableWriteCallBack = 8,
        kCloseOnInvalidate = 128,
    };
    using Callback = std::function<void(RunLoopSocket& socket, CallBackType type)>;

    // A new non-blocking, close-on-exec socket (IPv6 ones serve IPv6 only);
    // nullptr with errno set when the system refuses.
    static std::shared_ptr<RunLoopSocket> create(int domain, int type, int protocol, unsigned callBackTypes,
                                                 Callback callback);
    RunLoopSocket(PrivateTag, int fd, unsigned callBackTypes, Callback callback);
    ~RunLoopSocket();
    RunLoopSocket(const RunLoopSocket&) = delete;
    RunLoopSocket& operator=(const RunLoopSocket&) = delete;

    // -1 once invalidated.
    int nativeHandle() const { return fd_; }
    unsigned socketFlags() const { return flags_; }
    void setSocketFlags(unsigned flags) { flags_ = flags; }
    void enableCallBacks(unsigned types);
    void disableCallBacks(unsigned types);

    // bind() and connect(); false with errno set on failure.
    bool setAddress(const Bytes& address);
    bool connectToAddress(const Bytes& address);

    // Watches the descriptor on `loop` in each of `modes`.
    void schedule(RunLoop& loop, const std::vector<RunLoopMode>& modes);
    void unschedule(RunLoop& loop, const std::vector<RunLoopMode>& modes);

    void invalidate();
    bool isValid() const { return fd_ != -1; }

private:
    void updateEvents();
    void fired(unsigned events);

    int fd_;
    unsigned callBackTypes_;
    unsigned enabled_;
    unsigned flags_ = kAutomaticallyReenableReadCallBack | kAutomaticallyReenableWriteCallBack | kCloseOnInvalidate;
    Callback callback_;
    std::shared_ptr<RunLoopSource> source_;
};

}  // namespace orv
