#pragma once
// Running a whole program in a test: Orvane with a private home on the
// offscreen platform, and an adb resource program kept at work (a pull that
// waits on a slow adb), whose survival shows whose adb resources a program
// ends.

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
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace orv::test {

using namespace std::chrono_literals;

namespace detail {

inline std::vector<char*> pointersTo(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (auto& s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Waits for `pidfd` to turn readable (its process exited) and reaps `pid`.
inline std::optional<int> reapWithin(int pidfd, pid_t pid, std::chrono::milliseconds timeout)
{
    pollfd p{pidfd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) != 1)
        return std::nullopt;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid)
        return std::nullopt;
    return status;
}

inline int pidfdOf(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }  // glibc 2.36's wrapper lacks C linkage

}  // namespace detail

// A running program (Orvane) on the offscreen platform with a private home:
// settings (first launch already answered), cache and runtime folder (the
// single-instance lock) of its own. Killed and reaped if a test leaves it
// running.
class Program {
public:
    // `extraEnvironment`: NAME=VALUE entries that replace the inherited ones.
    // `resourcesToCopy`: a resource folder the program gets a private copy of
    // (named by ORVANE_RESOURCE_DIR unless `extraEnvironment` names one); when
    // empty, the program finds its own.
    Program(const std::string& program, std::vector<std::string> arguments,
            const std::vector<std::string>& extraEnvironment = {}, const std::string& resourcesToCopy = {})
    {
        char pattern[] = "/tmp/orvane-program-XXXXXX";
        home_ = ::mkdtemp(pattern) ? pattern : "";
        for (const char* sub : {"/config/Orvane", "/cache", "/runtime"})
            std::filesystem::create_directories(home_ + sub);
        std::filesystem::permissions(home_ + "/runtime", std::filesystem::perms::owner_all);
        std::ofstream(home_ + "/config/Orvane/Orvane.conf") << "[General]\nfirstLaunchAt=2026-01-01T00:00:00Z\n";

        std::vector<std::string> environment;
        std::vector<std::string> replacedNames{"QT_QPA_PLATFORM=", "XDG_CONFIG_HOME=", "XDG_CACHE_HOME=", "XDG_RUNTIME_DIR=",
                                               "ORVANE_RESOURCE_DIR="};
        for (const auto& entry : extraEnvironment)
            replacedNames.push_back(entry.substr(0, entry.find('=') + 1));
        for (char** e = environ; *e; ++e) {
            const std::string entry(*e);
            bool replaced = false;
            for (const auto& name : replacedNames)
                replaced = replaced || entry.rfind(name, 0) == 0;
            if (!replaced)
                environment.push_back(entry);
        }
        environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
        environment.emplace_back("QT_QPA_PLATFORM=offscreen");
        environment.push_back("XDG_CONFIG_HOME=" + home_ + "/config");
        environment.push_back("XDG_CACHE_HOME=" + home_ + "/cache");
        environment.push_back("XDG_RUNTIME_DIR=" + home_ + "/runtime");
        const bool ownResources = std::any_of(extraEnvironment.begin(), extraEnvironment.end(), [](const auto& e) {
            return e.rfind("ORVANE_RESOURCE_DIR=", 0) == 0;
        });
        if (!resourcesToCopy.empty() && !ownResources) {
            std::filesystem::copy(resourcesToCopy, home_ + "/resources", std::filesystem::copy_options::recursive);
            // The copied adb resource finds the build's libraries where it looks: beside its folder.
            std::filesystem::create_directory_symlink(std::filesystem::path(resourcesToCopy).parent_path() / "lib",
                                                      home_ + "/lib");
            environment.push_back("ORVANE_RESOURCE_DIR=" + home_ + "/resources");
        }
        arguments.insert(arguments.begin(), program);
        auto argv = detail::pointersTo(arguments);
        auto envp = detail::pointersTo(environment);
        if (::posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        else
            pidfd_ = detail::pidfdOf(pid_);
    }
    ~Program()
    {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (pidfd_ >= 0)
            ::close(pidfd_);
        if (!home_.empty())
            std::filesystem::remove_all(home_);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool started() const { return pid_ > 0 && pidfd_ >= 0; }
    pid_t pid() const { return pid_; }

    // Waits for the program to exit; its wait status, or nothing at the deadline.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout = 30s)
    {
        auto status = detail::reapWithin(pidfd_, pid_, timeout);
        reaped_ = reaped_ || status.has_value();
        return status;
    }

    // True once the program catches `signalNumber` (its handler is installed),
    // as /proc reports; false if that does not happen before the deadline.
    bool catches(int signalNumber, std::chrono::milliseconds timeout = 30s)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        const unsigned long long bit = 1ull << (signalNumber - 1);
        while (std::chrono::steady_clock::now() < deadline) {
            std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
            std::string line;
            while (std::getline(status, line))
                if (line.rfind("SigCgt:", 0) == 0 && (std::stoull(line.substr(7), nullptr, 16) & bit))
                    return true;
            // The child offers no event for this; check again shortly, or stop
            // early if it exited.
            pollfd p{pidfd_, POLLIN, 0};
            if (::poll(&p, 1, 10) == 1)
                return false;
        }
        return false;
    }

private:
    std::string home_;
    pid_t pid_ = -1;
    int pidfd_ = -1;
    bool reaped_ = false;
};

inline bool exitedCleanly(const std::optional<int>& status)
{
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

// The adb resource program `adb` at work on a pull that waits on a slow adb:
// it stays until killed. Killed and reaped at the end if still there; its
// slow adb ends with it.
class AdbResourceAtWork {
public:
    explicit AdbResourceAtWork(const std::string& adb)
    {
        char pattern[] = "/tmp/orvane-neighbour-XXXXXX";
        folder_ = ::mkdtemp(pattern) ? pattern : "";
        const std::string slowAdb = folder_ + "/slow-adb";
        std::ofstream(slowAdb) << "#!/bin/sh\n: > \"" << folder_ << "/working\"\nexec sleep 60\n";
        std::filesystem::permissions(slowAdb, std::filesystem::perms::owner_all);
        std::vector<std::string> environment{"ORVANE_ADB=" + slowAdb, "PATH=/usr/bin:/bin", "HOME=" + folder_};
        // A pull: the resource stays to watch over the adb it runs.
        std::vector<std::string> arguments{adb, "pull", "/sdcard/a", folder_ + "/a"};
        auto argv = detail::pointersTo(arguments);
        auto envp = detail::pointersTo(environment);
        if (::posix_spawn(&pid_, adb.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        else
            pidfd_ = detail::pidfdOf(pid_);
    }
    ~AdbResourceAtWork()
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
    AdbResourceAtWork(const AdbResourceAtWork&) = delete;
    AdbResourceAtWork& operator=(const AdbResourceAtWork&) = delete;

    bool started() const { return pid_ > 0 && pidfd_ >= 0; }

    // True once the resource runs its slow adb (so it started and found its
    // libraries); false if it ended first or the deadline passed.
    bool waitUntilWorking(std::chrono::milliseconds timeout = 30s)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            if (std::filesystem::exists(folder_ + "/working"))
                return true;
            // Nothing signals the file's arrival; look again shortly, or stop
            // early if the resource ended.
            pollfd p{pidfd_, POLLIN, 0};
            if (::poll(&p, 1, 10) == 1)
                return false;
        }
        return false;
    }

    bool running() const
    {
        pollfd p{pidfd_, POLLIN, 0};
        return ::poll(&p, 1, 0) == 0;
    }

    // Waits for the resource to end; its wait status, or nothing at the deadline.
    std::optional<int> waitForEnd(std::chrono::milliseconds timeout = 30s)
    {
        auto status = detail::reapWithin(pidfd_, pid_, timeout);
        reaped_ = reaped_ || status.has_value();
        return status;
    }

private:
    std::string folder_;
    pid_t pid_ = -1;
    int pidfd_ = -1;
    bool reaped_ = false;
};

}  // namespace orv::test
