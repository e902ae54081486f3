#include "app/shell/AgentControl.h"

#include <QProcess>

#include "app/shell/ProcessList.h"
#include "usbwatch/ProgramPaths.h"

namespace orv {

namespace {

class SystemAgentControl final : public AgentControl {
public:
    QString agentUrl() const override
    {
        const auto folder = usb::executableDirectory();
        return folder.empty() ? QString() : QString::fromStdString((folder / "OrvaneAgent").string());
    }
    void killAgent() override { killProcessesOfExecutable(agentUrl()); }
    void launchAgent() override
    {
        const QString program = agentUrl();
        if (!program.isEmpty())
            QProcess::startDetached(program, {});
    }
};

}  // namespace

AgentControl& AgentControl::system()
{
    static SystemAgentControl control;
    return control;
}

}  // namespace orv
