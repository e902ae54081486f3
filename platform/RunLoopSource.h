#pragma once
// A descriptor source: while its loop runs in one of the source's modes, its
// handler is called on each pass in which the descriptor is readable or
// writable, as far as the source asks for those events (level-triggered, so a
// handler that leaves data unread is called again; ask for no events to pause).
// Errors and hang-ups count as both events, so the handler's next read or
// write meets them. Remove or invalidate the source before closing the
// descriptor: the source does not own it. Safe to use from any thread.

#include <functional>
#include <memory>
#include <mutex>

#include "platform/RunLoop.h"

namespace orv {

class RunLoopSource : public std::enable_shared_from_this<RunLoopSource> {
public:
    enum Event : unsigned { Readable = 1u, Writable = 2u };
    using Handler = std::function<void(RunLoopSource&, unsigned events)>;

    static std::shared_ptr<RunLoopSource> make(int descriptor, unsigned events, Handler handler);

    int descriptor() const { return descriptor_; }
    unsigned events() const;
    void setEvents(unsigned events);

    // Removes the source from its loop and releases its handler; a running
    // handler finishes first.
    void invalidate();
    bool isValid() const;

    // Only RunLoopSource itself makes one (through std::make_shared).
    class Passkey {
        Passkey() = default;
        friend class RunLoopSource;
    };
    RunLoopSource(Passkey, int descriptor, unsigned events, Handler handler);

private:
    friend class RunLoop;

    // The loop's delivery: true when the handler ran.
    bool deliver(unsigned ready);

    const int descriptor_;
    mutable std::mutex mutex_;
    unsigned events_;
    bool valid_ = true;
    std::shared_ptr<Handler> handler_;
    std::weak_ptr<RunLoop> loop_;  // set while on a loop
};

}  // namespace orv
