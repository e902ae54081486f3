#pragma once
// Building blocks of the manager's queued work (internal to the bridge).

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/bridge/adb/ADBRunner.h"
#include "platform/Dispatch.h"
#include "platform/OperationQueue.h"

namespace orv {

// A block operation whose work receives the operation itself, so it can test
// for cancellation; the block holds the operation only weakly.
inline std::shared_ptr<BlockOperation> makeBlockOperation(std::function<void(BlockOperation& operation)> work)
{
    auto operation = std::make_shared<BlockOperation>();
    std::weak_ptr<BlockOperation> weakOperation = operation;
    operation->addExecutionBlock([weakOperation, work = std::move(work)] {
        if (auto strong = weakOperation.lock())
            work(*strong);
    });
    return operation;
}

// Ends operations that were never queued and never will be (dropped from a
// waiting list): cancelled, then started so that they finish at once without
// running. Whoever waits for them or watches isFinished is not left hanging.
inline void finishWithoutRunning(const std::vector<OperationRef>& operations)
{
    for (const auto& operation : operations) {
        if (!operation || operation->isExecuting() || operation->isFinished())
            continue;
        operation->cancel();
        operation->start();
    }
}

inline void onMainQueue(dispatch::Task task)
{
    dispatch::Queue::main()->async(std::move(task));
}

// Calls back on the main queue unless `operation` has been cancelled by then:
// a cancel after the outcome was posted still silences it.
inline void deliverOnMainQueue(const std::weak_ptr<Operation>& operation, std::function<void()> call)
{
    // Held until delivery: a cancel that drops the last other owner (a
    // released manager's queue) must still silence the result.
    onMainQueue([strong = operation.lock(), call = std::move(call)] {
        if (strong && strong->isCancelled())
            return;
        call();
    });
}

class OVADBManager;

// The manager's runner for queued work, which holds the manager only weakly;
// nullopt once the manager is gone, and the work then ends quietly.
std::optional<ADBRunner> runnerOf(const std::weak_ptr<OVADBManager>& manager);

// A log line on standard error, as the bridge writes them.
void bridgeLog(const std::string& line);

}  // namespace orv
