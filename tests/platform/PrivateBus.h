#pragma once
// A private message bus for tests: a bus daemon of its own, started in a
// temporary folder and killed, reaped and cleaned away on destruction, and
// client connections to it for the test thread.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace orvtest {

class PrivateBus {
public:
    static constexpr const char* kDaemon = "dbus-daemon";

    static bool daemonInstalled()
    {
        const char* path = std::getenv("PATH");
        std::string dirs = path ? path : "/usr/bin:/bin";
        size_t start = 0;
        while (start <= dirs.size()) {
            size_t end = dirs.find(':', start);
            if (end == std::string::npos)
                end = dirs.size();
            auto candidate = std::filesystem::path(dirs.substr(start, end - start)) / kDaemon;
            if (::access(candidate.c_str(), X_OK) == 0)
                return true;
            start = end + 1;
        }
        return false;
    }

    PrivateBus()
    {
        char folder[] = "/tmp/orvane-bus-XXXXXX";
        if (!::mkdtemp(folder)) {
            error_ = "cannot create a temporary folder";
            return;
        }
        folder_ = folder;
        auto config = folder_ / "bus.conf";
        std::ofstream(config) << "<busconfig>\n"
                                 "  <type>session</type>\n"
                                 "  <listen>unix:path=" << (folder_ / "socket").string() << "</listen>\n"
                                 "  <auth>EXTERNAL</auth>\n"
                                 "  <policy context=\"default\">\n"
                                 "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                                 "    <allow eavesdrop=\"true\"/>\n"
                                 "    <allow own=\"*\"/>\n"
                                 "  </policy>\n"
                                 "</busconfig>\n";
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) {
            error_ = "cannot create a pipe";
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::string configArg = "--config-file=" + config.string();
        std::vector<char*> argv{const_cast<char*>(kDaemon), configArg.data(),
                                const_cast<char*>("--print-address"), const_cast<char*>("--nofork"),
                                const_cast<char*>("--nopidfile"), nullptr};
        int spawned = ::posix_spawnp(&pid_, kDaemon, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        if (spawned != 0) {
            pid_ = -1;
            ::close(out[0]);
            error_ = "cannot start the bus daemon";
            return;
        }
        address_ = readLine(out[0]);
        ::close(out[0]);
        if (address_.empty())
            error_ = "the bus daemon printed no address";
    }

    ~PrivateBus()
    {
        stop();
        if (!folder_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(folder_, ignored);
        }
    }

    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    const std::string& address() const { return address_; }
    std::filesystem::path folder() const { return folder_; }

    // Kills and reaps the daemon now; its clients see the bus go away.
    void stop()
    {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }

private:
    // The daemon prints its address once it accepts connections.
    static std::string readLine(int fd)
    {
        std::string line;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                              std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return {};
            pollfd readable{fd, POLLIN, 0};
            if (::poll(&readable, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char c = 0;
            ssize_t got = ::read(fd, &c, 1);
            if (got <= 0)
                return {};
            if (c == '\n')
                return line;
            line += c;
        }
    }

    std::filesystem::path folder_;
    std::string address_;
    std::string error_;
    pid_t pid_ = -1;
};

// One client connection, used from one thread.
class BusPeer {
public:
    explicit BusPeer(const std::string& address)
    {
        int result = sd_bus_new(&bus_);
        if (result >= 0)
            result = sd_bus_set_address(bus_, address.c_str());
        if (result >= 0)
            result = sd_bus_set_bus_client(bus_, 1);
        if (result >= 0)
            result = sd_bus_set_method_call_timeout(bus_, 20'000'000);
        if (result >= 0)
            result = sd_bus_start(bus_);
        ok_ = result >= 0;
    }
    ~BusPeer() { sd_bus_flush_close_unref(bus_); }
    BusPeer(const BusPeer&) = delete;
    BusPeer& operator=(const BusPeer&) = delete;

    bool ok() const { return ok_; }

    bool claim(const char* name) { return sd_bus_request_name(bus_, name, 0) >= 0; }

    std::string uniqueName()
    {
        const char* name = nullptr;
        return sd_bus_get_unique_name(bus_, &name) >= 0 ? name : "";
    }

    // Broadcasts the session manager's sleep signal from this connection.
    bool emitPrepareForSleep(bool sleeping)
    {
        return sd_bus_emit_signal(bus_, "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                  "PrepareForSleep", "b", static_cast<int>(sleeping)) >= 0 &&
               sd_bus_flush(bus_) >= 0;
    }

    // The unique names of every client on the bus.
    std::vector<std::string> clients()
    {
        std::vector<std::string> names;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        if (sd_bus_call_method(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                               "ListNames", &error, &reply, "") >= 0) {
            char** list = nullptr;
            if (sd_bus_message_read_strv(reply, &list) >= 0 && list) {
                for (char** name = list; *name; ++name) {
                    if (**name == ':')
                        names.emplace_back(*name);
                    std::free(*name);
                }
                std::free(list);
            }
        }
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
        return names;
    }

    // Returns once `destination` has answered: it has then handled every
    // message this connection sent it before.
    bool ping(const std::string& destination)
    {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        int result = sd_bus_call_method(bus_, destination.c_str(), "/", "org.freedesktop.DBus.Peer", "Ping",
                                        &error, nullptr, "");
        sd_bus_error_free(&error);
        return result >= 0;
    }

private:
    sd_bus* bus_ = nullptr;
    bool ok_ = false;
};

}  // namespace orvtest
