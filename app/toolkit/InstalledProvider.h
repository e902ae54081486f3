#pragma once
// A lookup function the application installs once and any thread may read:
// the toolkit's hooks for texts and images.

#include <mutex>

namespace orv {

template <typename Function>
class InstalledProvider {
public:
    void install(Function function)
    {
        std::lock_guard lock(mutex_);
        function_ = std::move(function);
    }
    // A copy, so the caller runs it without holding the lock.
    Function current() const
    {
        std::lock_guard lock(mutex_);
        return function_;
    }

private:
    mutable std::mutex mutex_;
    Function function_;
};

}  // namespace orv
