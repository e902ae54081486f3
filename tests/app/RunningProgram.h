#pragma once
// Running a whole program in a test: Orvane with a private home on the
// offscreen platform, and an adb resource program kept at work (a pull that
// waits on a slow adb), whose survival shows whose adb resources a program
// ends.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/Wait.h"

extern char** environ;

namespace orv::test {

using namespace std::chrono_literals;

// A child program started with a private scratch folder; killed and reaped,
// and its folder removed, if a test leaves it running.
class TestChild {
public:
    TestChild(const TestChild&) = delete;
    TestChild& operator=(const TestChild&) = delete;

    bool started() const { return pid_ > 0 && pidfd_ >= 0; }
    pid_t pid() const { return pid_; }
    bool running() const
    {
        pollfd p{pidfd_, POLLIN, 0};
        return ::poll(&p, 1, 0) == 0;
    }

    // Waits for the child to exit; its wait status, or nothing at the deadline.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout = 30s)
    {
        pollfd p{pidfd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) != 1)
            return std::nullopt;
        int status = 0;
        if (::waitpid(pid_, &status, 0) != pid_)
            return std::nullopt;
        reaped_ = true;
        return status;
    }

protected:
    explicit TestChild(const char* folderPattern)
    {
        std::string pattern = folderPattern;
        folder_ = ::mkdtemp(pattern.data()) ? pattern : "";
    }
    ~TestChild()
    {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (pidfd_ >= 0)
            ::close(pidfd_);
        if (!folder_.empty())
            std::filesystem::remove_all(folder_);
    }

    // `errorFile`: where the child's standard error goes; empty, it is ours.
    void spawn(std::vector<std::string> arguments, std::vector<std::string> environment,
               const std::string& errorFile = {})
    {
        std::vector<char*> argv;
        for (auto& a : arguments)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& e : environment)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        if (!errorFile.empty())
            ::posix_spawn_file_actions_addopen(&actions, 2, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        else
            pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));  // glibc 2.36's wrapper lacks C linkage
        ::posix_spawn_file_actions_destroy(&actions);
    }

    // True once `condition` holds; false if the child exits first or the
    // deadline passes. For what the child offers no event for: it is looked
    // at again shortly.
    template <typename Condition>
    bool waitFor(Condition condition, std::chrono::milliseconds timeout)
    {
        bool held = false;
        bool exited = false;
        orv::test::waitUntil(
            [&] {
                held = condition();
                return held || exited;
            },
            timeout,
            [&](std::chrono::steady_clock::time_point) {
                pollfd p{pidfd_, POLLIN, 0};
                exited = ::poll(&p, 1, 10) == 1;
            });
        return held;
    }

    std::string folder_;

private:
    pid_t pid_ = -1;
    int pidfd_ = -1;
    bool reaped_ = false;
};

// Copies the resource folder `from` to `folder`/resources, where its adb
// resource still finds the build's libraries (it looks beside its folder);
// returns the copy's path.
inline std::string copyResources(const std::string& from, const std::string& folder)
{
    std::filesystem::copy(from, folder + "/resources", std::filesystem::copy_options::recursive);
    std::filesystem::create_directory_symlink(std::filesystem::path(from).parent_path() / "lib", folder + "/lib");
    return folder + "/resources";
}

// A running program (Orvane) on the offscreen platform with a private home:
// settings (first launch already answered), cache and runtime folder (the
// single-instance lock) of its own.
class Program : public TestChild {
public:
    enum class Errors { Shown, Kept };

    // `extraEnvironment`: NAME=VALUE entries that replace the inherited ones
    // and the private home's own.
    // `resourcesToCopy`: a resource folder the program gets a private copy of
    // (named by ORVANE_RESOURCE_DIR unless `extraEnvironment` names one); when
    // empty, the program finds its own.
    // `errors`: Kept keeps the program's standard error for errors().
    Program(const std::string& program, std::vector<std::string> arguments,
            const std::vector<std::string>& extraEnvironment = {}, const std::string& resourcesToCopy = {},
            Errors errors = Errors::Shown)
        : TestChild("/tmp/orvane-program-XXXXXX")
    {
        const std::string& home = folder_;
        for (const char* sub : {"/config/Orvane", "/cache", "/runtime"})
            std::filesystem::create_directories(home + sub);
        std::filesystem::permissions(home + "/runtime", std::filesystem::perms::owner_all);
        std::ofstream(home + "/config/Orvane/Orvane.conf") << "[General]\nfirstLaunchAt=2026-01-01T00:00:00Z\n";

        const auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=') + 1); };
        const auto names = [&](const std::vector<std::string>& entries, const std::string& name) {
            return std::any_of(entries.begin(), entries.end(), [&](const auto& e) { return nameOf(e) == name; });
        };
        std::vector<std::string> own{"QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + home + "/config",
                                     "XDG_CACHE_HOME=" + home + "/cache", "XDG_RUNTIME_DIR=" + home + "/runtime"};
        if (!resourcesToCopy.empty() && !names(extraEnvironment, "ORVANE_RESOURCE_DIR="))
            own.push_back("ORVANE_RESOURCE_DIR=" + copyResources(resourcesToCopy, home));
        std::vector<std::string> environment;
        for (char** e = environ; *e; ++e) {
            const std::string name = nameOf(*e);
            if (name != "ORVANE_RESOURCE_DIR=" && !names(extraEnvironment, name) && !names(own, name))
                environment.emplace_back(*e);
        }
        environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
        for (const auto& entry : own)
            if (!names(extraEnvironment, nameOf(entry)))
                environment.push_back(entry);
        if (errors == Errors::Kept)
            errorFile_ = home + "/errors";
        arguments.insert(arguments.begin(), program);
        spawn(std::move(arguments), std::move(environment), errorFile_);
    }

    // What the program wrote to its standard error so far (Errors::Kept).
    std::string errors() const
    {
        std::ifstream file(errorFile_);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    // True once `happened` holds while the program runs; false if it exits
    // first or the deadline passes.
    template <typename Condition>
    bool runsUntil(Condition happened, std::chrono::milliseconds timeout)
    {
        return waitFor(happened, timeout);
    }

    // True once the program catches `signalNumber` (its handler is installed),
    // as /proc reports; false if that does not happen before the deadline.
    bool catches(int signalNumber, std::chrono::milliseconds timeout = 30s)
    {
        const unsigned long long bit = 1ull << (signalNumber - 1);
        return waitFor(
            [&] {
                std::ifstream status("/proc/" + std::to_string(pid()) + "/status");
                std::string line;
                while (std::getline(status, line))
                    if (line.rfind("SigCgt:", 0) == 0 && (std::stoull(line.substr(7), nullptr, 16) & bit))
                        return true;
                return false;
            },
            timeout);
    }

private:
    std::string errorFile_;
};

inline bool exitedCleanly(const std::optional<int>& status)
{
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

// Starts `program` with "-s" for the simulated phone `serial` (the
// simulator's environment in `environment`), waits until its window asks the
// phone through adb, then ends it with SIGTERM. Empty when all of that went
// as it should; otherwise what went wrong.
inline std::string opensThePhoneAndQuitsOnTermination(const std::string& program, const std::string& serial,
                                                      const std::vector<std::string>& environment,
                                                      const std::string& resourcesToCopy,
                                                      const std::function<bool()>& askedThePhone)
{
    Program running(program, {"-s", serial + ":0:0"}, environment, resourcesToCopy);
    if (!running.started())
        return "did not start";
    if (!running.catches(SIGTERM))
        return "never caught SIGTERM";
    if (!running.runsUntil(askedThePhone, 60s))
        return "exited or timed out before its window asked for the phone";
    if (::kill(running.pid(), SIGTERM) != 0)
        return "could not be signalled";
    return exitedCleanly(running.waitForExit()) ? "" : "did not exit cleanly on SIGTERM";
}

// The adb resource program `adb` at work on a pull that waits on a slow adb:
// it stays until killed; its slow adb ends with it.
class AdbResourceAtWork : public TestChild {
public:
    explicit AdbResourceAtWork(const std::string& adb) : TestChild("/tmp/orvane-neighbour-XXXXXX")
    {
        const std::string slowAdb = folder_ + "/slow-adb";
        std::ofstream(slowAdb) << "#!/bin/sh\n: > \"" << folder_ << "/working\"\nexec sleep 60\n";
        std::filesystem::permissions(slowAdb, std::filesystem::perms::owner_all);
        // A pull: the resource stays to watch over the adb it runs.
        spawn({adb, "pull", "/sdcard/a", folder_ + "/a"},
              {"ORVANE_ADB=" + slowAdb, "PATH=/usr/bin:/bin", "HOME=" + folder_});
    }

    // True once the resource runs its slow adb (so it started and found its
    // libraries); false if it ended first or the deadline passed.
    bool waitUntilWorking(std::chrono::milliseconds timeout = 30s)
    {
        return waitFor([this] { return std::filesystem::exists(folder_ + "/working"); }, timeout);
    }
};

}  // namespace orv::test
