#include "app/shell/ShellScheduler.h"

#include <QTimer>
#include <cmath>

#include "usbwatch/OVUSBDevice.h"

namespace orv {

namespace {

class QtScheduler final : public ShellScheduler {
public:
    double now() const override { return OVUSBDevice::now(); }
    void after(double seconds, QObject* context, std::function<void()> task) override
    {
        const int ms = static_cast<int>(std::lround(std::max(0.0, seconds) * 1000.0));
        QTimer::singleShot(ms, context, std::move(task));
    }
};

}  // namespace

ShellScheduler& ShellScheduler::real()
{
    static QtScheduler scheduler;
    return scheduler;
}

}  // namespace orv
