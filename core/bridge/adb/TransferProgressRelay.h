#pragma once
// What a transfer made of adb children (one pull or push per file) shares
// between its operation's thread, the children's progress lines and the main
// queue: the stop flag, the bytes already moved, and the child in flight, so
// a cancel can end that child at once.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/bridge/adb/ADBRunner.h"
#include "platform/OperationQueue.h"

namespace orv {

class TransferProgressRelay : public std::enable_shared_from_this<TransferProgressRelay> {
public:
    // Called on the main queue with the file's bytes done and total and the
    // whole transfer's bytes done; answering false stops the transfer.
    using Report = std::function<bool(int64_t done, int64_t total, int64_t overallDone)>;

    // Removes the cancel watch when it ends.
    class CancelWatch {
    public:
        CancelWatch(Operation& operation, size_t token) : operation_(operation), token_(token) {}
        ~CancelWatch() { operation_.removeObserver(token_); }
        CancelWatch(const CancelWatch&) = delete;
        CancelWatch& operator=(const CancelWatch&) = delete;

    private:
        Operation& operation_;
        size_t token_;
    };

    // Set by a cancel, by a report that answered false, or by the caller.
    std::atomic<bool> stop{false};

    // While the watch lives, a cancel of `operation` stops the transfer and
    // terminates the child in flight, even one that prints nothing.
    [[nodiscard]] CancelWatch watchCancel(Operation& operation);

    // Runs one file's adb child, relaying its progress lines as reports.
    // A null report relays nothing but still honours stops.
    ADBCommandResult runChild(const ADBRunner& runner, const std::vector<std::string>& arguments,
                              const std::shared_ptr<Operation>& operation, Report report);

    // True once the transfer is to stop; a cancel of `operation` counts.
    bool stopped(const Operation& operation);

    // The file just run is complete: its size, as its progress lines gave it,
    // counts towards the bytes of the files before the next one.
    void fileCompleted() { doneBefore_ += reportedTotal_.load(); }

private:
    std::atomic<int64_t> doneBefore_{0};
    std::atomic<int64_t> reportedTotal_{0};  // the file in flight, as its progress lines said
    std::mutex taskMutex_;
    std::shared_ptr<Process> task_;  // the child in flight
};

}  // namespace orv
