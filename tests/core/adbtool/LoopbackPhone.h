#pragma once
// A phone on loopback TCP for Debian's adb (loopback_phone.py), its files in
// a folder of the test's. Runs from construction to destruction.

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "platform/Process.h"
#include "support/Wait.h"

namespace orv::adbtool::test {

class LoopbackPhone {
public:
    LoopbackPhone(const std::filesystem::path& root, long bytesPerSecond)
    {
        orv::Process::Options o;
        o.program = ADBTOOL_PYTHON;
        o.arguments = {ADBTOOL_LOOPBACK_PHONE, root.string(), "--rate", std::to_string(bytesPerSecond)};
        o.standardInput = orv::Process::Input::Null;
        process_ = std::make_unique<orv::Process>(o);
        if (!process_->start())
            return;
        thread_ = std::thread([this] {
            process_->run([this](std::string_view chunk) {
                output_.append(chunk);
                if (output_.find('\n') != std::string::npos && !announced_) {
                    announced_ = true;
                    port_ = std::atoi(output_.c_str());
                    ready_.countDown();
                }
            });
            ready_.countDown();  // ended without a port: stop waiting
        });
        ready_.wait(std::chrono::seconds(30));
    }

    ~LoopbackPhone()
    {
        if (thread_.joinable()) {
            process_->terminate();
            thread_.join();
        }
    }

    LoopbackPhone(const LoopbackPhone&) = delete;
    LoopbackPhone& operator=(const LoopbackPhone&) = delete;

    int port() const { return port_; }  // 0 when it did not start
    std::string serial() const { return "127.0.0.1:" + std::to_string(port_); }

private:
    std::unique_ptr<orv::Process> process_;
    std::thread thread_;
    orv::test::Latch ready_;
    std::string output_;  // the process's thread only
    bool announced_ = false;
    std::atomic<int> port_{0};
};

}  // namespace orv::adbtool::test
