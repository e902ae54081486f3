#pragma once
// Single-instance locks shared by the application and the agent: an flock on
// a file in the user's runtime folder ($XDG_RUNTIME_DIR, else a private
// per-user folder), with the holder's pid written inside. The lock ends with
// the holder's process, so a crash never leaves it stale.

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace orv::usb {

inline constexpr const char* kApplicationLockName = "orvane.lock";
inline constexpr const char* kAgentLockName = "orvane-agent.lock";

class InstanceLock {
public:
    enum class Status { Acquired, HeldElsewhere, Failed };

    // Takes the lock without waiting. HeldElsewhere when another open of the
    // file holds it (in this process too); Failed with `error` set when the
    // folder or file cannot be used.
    static Status tryAcquire(const std::string& name, std::unique_ptr<InstanceLock>& lock,
                             std::string* error = nullptr);
    // True while some process holds the lock; takes nothing.
    static bool isHeld(const std::string& name);
    // The pid the holder wrote, while the lock is held.
    static std::optional<pid_t> holder(const std::string& name);

    // $XDG_RUNTIME_DIR when it is an absolute path to a folder, else
    // /tmp/orvane-<uid> made mode 0700 and refused unless it is a real folder
    // owned by this user and closed to others. Empty on failure.
    static std::filesystem::path runtimeDirectory(std::string* error = nullptr);

    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    InstanceLock(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}

    int fd_;
    std::filesystem::path path_;
};

}  // namespace orv::usb
