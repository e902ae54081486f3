#pragma once
// Starts the application as a process of its own that outlives the agent.

#include <string>
#include <vector>

namespace orv::agent {

class Launcher {
public:
    virtual ~Launcher() = default;
    // True once the program is running; false with `error` set when it could
    // not be started (missing, not executable).
    virtual bool launch(const std::string& program, const std::vector<std::string>& arguments,
                        std::string* error) = 0;
};

// Forks twice so the program is nobody's child here (no zombie to reap) and
// reports whether the exec succeeded. The program starts in a session of its
// own with default signals and descriptors 0-2 only.
class DetachedLauncher final : public Launcher {
public:
    bool launch(const std::string& program, const std::vector<std::string>& arguments,
                std::string* error) override;
};

}  // namespace orv::agent
