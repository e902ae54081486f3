#pragma once
// Stopping and starting the agent program OrvaneAgent: stopping kills every
// process of this user running that program; starting runs it detached.

#include <QString>

namespace orv {

class AgentControl {
public:
    virtual ~AgentControl() = default;
    // The agent program: OrvaneAgent beside the running program.
    virtual QString agentUrl() const = 0;
    virtual void killAgent() = 0;
    // A failure is ignored.
    virtual void launchAgent() = 0;

    static AgentControl& system();
};

}  // namespace orv
