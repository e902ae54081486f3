#pragma once
// One thread that runs tasks in the order they were posted, so work that may
// wait (the probe-open retries) never holds the thread that posts it.
// stop() drops tasks not yet started, cuts short a pause and joins.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace orv::usb {

class SerialWorker {
public:
    SerialWorker();
    ~SerialWorker();
    SerialWorker(const SerialWorker&) = delete;
    SerialWorker& operator=(const SerialWorker&) = delete;

    void post(std::function<void()> task);
    // Waits on the worker's thread; false when stop() cut it short.
    bool pause(std::chrono::milliseconds duration);
    void stop();

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace orv::usb
