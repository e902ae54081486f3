#include "core/bridge/adb/TransferProgressRelay.h"

#include "core/bridge/adb/OVADBManagerOperation.h"

namespace orv {

TransferProgressRelay::CancelWatch TransferProgressRelay::watchCancel(Operation& operation)
{
    std::weak_ptr<TransferProgressRelay> weakSelf = weak_from_this();
    size_t token = operation.addObserver([weakSelf](Operation&, Operation::Key key) {
        if (key != Operation::Key::Cancelled)
            return;
        auto self = weakSelf.lock();
        if (!self)
            return;
        self->stop = true;
        std::lock_guard lock(self->taskMutex_);
        if (self->task_)
            self->task_->terminate();
    });
    return CancelWatch(operation, token);
}

ADBCommandResult TransferProgressRelay::runChild(const ADBRunner& runner, const std::vector<std::string>& arguments,
                                                 const std::shared_ptr<Operation>& operation, Report report)
{
    auto self = shared_from_this();
    reportedTotal_ = 0;
    const int64_t doneBefore = doneBefore_.load();
    ADBRunner::ProgressBlock onProgress = [self, operation, doneBefore, report](const std::shared_ptr<Process>& task,
                                                                               const ADBProgress& p) {
        if (operation->isCancelled() || self->stop) {
            task->terminate();
            return;
        }
        const int64_t done = p.completedUnitCount;
        const int64_t total = p.totalUnitCount;
        self->reportedTotal_ = total;
        onMainQueue([self, operation, task, done, total, doneBefore, report] {
            if (operation->isCancelled()) {
                self->stop = true;
                task->terminate();
                return;
            }
            if (self->stop)
                return;
            if (report && !report(done, total, doneBefore + done)) {
                self->stop = true;
                operation->cancel();
                task->terminate();
            }
        });
    };
    auto onLaunch = [self, operation](const std::shared_ptr<Process>& task) {
        {
            std::lock_guard lock(self->taskMutex_);
            self->task_ = task;
        }
        if (operation->isCancelled())  // cancelled before the watch could see this child
            task->terminate();
    };
    ADBCommandResult result = runner.run(arguments, onProgress, onLaunch);
    {
        std::lock_guard lock(taskMutex_);
        task_.reset();
    }
    return result;
}

bool TransferProgressRelay::stopped(const Operation& operation)
{
    if (operation.isCancelled())
        stop = true;
    return stop;
}

}  // namespace orv
