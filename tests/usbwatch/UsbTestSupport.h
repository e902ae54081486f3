#pragma once
// Helpers shared by the watcher's and the agent's tests: a temporary folder,
// a "matchingdevices" resource written on the fly, and a queue that stands in
// for the main run loop.

#include <stdlib.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "support/Wait.h"

namespace orv::usb::testing {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvane-usb-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline std::string matchingEntry(const std::string& body) {
    return "<dict><key>matchingDictionary</key><dict>" + body + "</dict></dict>";
}

inline std::string vendorEntry(unsigned vendor, const std::string& product = "<string>*</string>") {
    return matchingEntry("<key>IOProviderClass</key><string>IOUSBDevice</string><key>idVendor</key><integer>" +
                         std::to_string(vendor) + "</integer><key>idProduct</key>" + product);
}

inline std::string makerEntry(const std::vector<unsigned>& vendors) {
    std::string ids;
    for (unsigned vendor : vendors) ids += "<integer>" + std::to_string(vendor) + "</integer>";
    return "<dict><key>makerVendorIds</key><array>" + ids + "</array></dict>";
}

inline std::string plist(const std::vector<std::string>& elements) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><array>";
    for (const auto& element : elements) text += element;
    return text + "</array></plist>\n";
}

inline void writeFile(const std::filesystem::path& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary) << contents;
}

// Tasks posted from any thread, run on the test's thread by drainUntil.
class TaskQueue {
public:
    void post(std::function<void()> task) {
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        wake_.notify_all();
    }

    std::function<void(std::function<void()>)> executor() {
        return [this](std::function<void()> task) { post(std::move(task)); };
    }

    // Runs tasks as they come until `done` holds or the deadline passes.
    bool drainUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
        return orv::test::waitUntil(done, timeout, [this](std::chrono::steady_clock::time_point deadline) {
            std::function<void()> task;
            {
                std::unique_lock lock(mutex_);
                if (!wake_.wait_until(lock, deadline, [this] { return !tasks_.empty(); })) return;
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();
        });
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
};

}  // namespace orv::usb::testing
