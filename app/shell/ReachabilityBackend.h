#pragma once
// Where the reachability notifier reads its flags: the system's network
// information, or a fake in tests. Flags use the notifier's bit values.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace orv {

class ReachabilityBackend {
public:
    virtual ~ReachabilityBackend() = default;
    // The current flags; nullopt when they cannot be had.
    virtual std::optional<uint32_t> flags() const = 0;
    // Starts calling `changed` (on the main thread) when the flags change;
    // false when that cannot be arranged. An empty function stops it.
    virtual bool setChangeCallback(std::function<void()> changed) = 0;

    // Qt's network information (the reachability feature); null when no
    // backend of Qt's can report reachability.
    static std::unique_ptr<ReachabilityBackend> system();
};

}  // namespace orv
