#pragma once
// Virtual time for the shell's tests: delays run when advance() passes their
// due time, in due order, and are dropped when their context is gone.

#include <QObject>
#include <QPointer>
#include <functional>
#include <map>
#include <utility>

#include "app/shell/ShellScheduler.h"

namespace orv::test {

class VirtualScheduler final : public ShellScheduler {
public:
    explicit VirtualScheduler(double start = 1000.0) : now_(start) {}

    double now() const override { return now_; }
    void after(double seconds, QObject* context, std::function<void()> task) override
    {
        pending_.emplace(std::make_pair(now_ + seconds, sequence_++), Entry{context != nullptr, context, std::move(task)});
    }

    // Moves the clock forward, running every delay that falls due on the way.
    void advance(double seconds)
    {
        const double until = now_ + seconds;
        while (!pending_.empty() && pending_.begin()->first.first <= until) {
            auto node = pending_.extract(pending_.begin());
            now_ = node.key().first;
            if (!node.mapped().hasContext || node.mapped().context)
                node.mapped().task();
        }
        now_ = until;
    }

    size_t pendingCount() const { return pending_.size(); }

private:
    struct Entry {
        bool hasContext;
        QPointer<QObject> context;
        std::function<void()> task;
    };
    double now_;
    unsigned long sequence_ = 0;
    std::map<std::pair<double, unsigned long>, Entry> pending_;
};

}  // namespace orv::test
