#pragma once
// A simulated phone and a device manager pointed at it, for the bridge's
// tests. Results that the bridge hands to the main queue arrive while the
// test runs the main run loop (waitFor).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "core/bridge/adb/OVADBManager.h"
#include "core/bridge/facade/OVResources.h"
#include "phonesim/Simulator.h"
#include "platform/Dispatch.h"
#include "platform/RunLoop.h"
#include "support/ReleasedWork.h"
#include "support/Wait.h"

namespace orv::test {

// The deadline only ends a test that has already failed; it is generous because
// sanitizer builds on a loaded machine run whole transfers many times slower.
// The condition is also checked every 20 ms: many conditions are made true on
// other threads (a socket released, a child reaped) that never wake the loop.
inline bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(120))
{
    return waitUntil(done, timeout, [&](RunLoop::Clock::time_point deadline) {
        RunLoop::main().runUntil(done, std::min(deadline, RunLoop::Clock::now() + std::chrono::milliseconds(20)));
    });
}

// The regular files below a host folder as the phone's
// `find -maxdepth 5 -type f` without hidden components would count them.
inline int64_t countLikeFind(const std::filesystem::path& root)
{
    namespace fs = std::filesystem;
    int64_t files = 0;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        if (it->path().filename().string().starts_with(".")) {
            it.disable_recursion_pending();
            continue;
        }
        if (it.depth() >= 5)
            it.disable_recursion_pending();
        if (it->is_regular_file() && !it->is_symlink())
            ++files;
    }
    return files;
}

// Wakes a waitFor whose condition another thread has just made true.
inline void wakeMainLoop()
{
    dispatch::Queue::main()->async([] {});
}

// Runs everything the main queue holds now.
inline void drainMainQueue()
{
    auto drained = std::make_shared<bool>(false);
    dispatch::Queue::main()->async([drained] { *drained = true; });
    waitFor([drained] { return *drained; });
}

// Runs a blocking bridge call on a thread of its own, as the bridge's queues
// would (the main thread may never wait on adb).
template <class F>
auto offMain(F work) -> decltype(work())
{
    decltype(work()) result{};
    std::thread worker([&] { result = work(); });
    worker.join();
    return result;
}

// A private folder removed with everything in it when the test ends.
class TemporaryFolder {
public:
    TemporaryFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvane-bridge-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TemporaryFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// One simulator per test suite (starting one takes a while); each test gets
// a fresh manager that knows the phone's serial.
class PhoneTest : public ::testing::Test {
protected:
    // With ORVANE_TEST_ADB_RESOURCE_DIR set to the build's resource folder,
    // the bridge runs our own adb program there, which drives the stand-in
    // speaking as Debian's adb does: the whole road a real phone takes.
    static void SetUpTestSuite() { startSimulator(phonesim::Fixture::realistic().withHostileNames()); }
    // For suites whose phone holds another fixture.
    static void startSimulator(const phonesim::Fixture& fixture)
    {
        const char* throughResource = std::getenv("ORVANE_TEST_ADB_RESOURCE_DIR");
        phonesim::Options options;
        options.phones = {fixture};
        if (throughResource && *throughResource)
            options.mode = "current";
        sim_ = phonesim::Simulator::start(options);
        if (throughResource && *throughResource) {
            ::setenv("ORVANE_ADB", sim_->adbPath().c_str(), 1);
            setResourceDirectory(throughResource);
        } else {
            setResourceDirectory(sim_->resourceDir().string());
        }
    }
    static void TearDownTestSuite()
    {
        setResourceDirectory("");
        sim_.reset();
    }
    void SetUp() override
    {
        serial = sim_->serial();
        manager = OVADBManager::make();
        manager->setSerialNumber(serial);
        sim_->clearLog();
    }
    void TearDown() override
    {
        manager.reset();  // cancels what is queued and ends what runs
        settleReleasedWork();
        drainMainQueue();
    }

    phonesim::Simulator& sim() { return *sim_; }
    std::filesystem::path phoneRoot() { return sim_->phoneRoot(serial); }
    static std::string storage(const std::string& relative) { return "/storage/emulated/legacy/" + relative; }

    // The adb command lines the phone saw, as argument lists.
    std::vector<std::vector<std::string>> adbCommands()
    {
        std::vector<std::vector<std::string>> commands;
        for (const auto& entry : sim_->log({}, "adb"))
            commands.push_back(entry.at("argv").get<std::vector<std::string>>());
        return commands;
    }

    std::string serial;
    std::shared_ptr<OVADBManager> manager;

private:
    static inline std::unique_ptr<phonesim::Simulator> sim_;
};

}  // namespace orv::test
