// A simulated phone for GoogleTest tests: starts the simulator process with a fixture, hands back
// a resource folder whose "adb" reaches that instance, scripts and breaks the phone, and on
// destruction stops and reaps the process and removes every file it made.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

#include <nlohmann/json.hpp>

namespace phonesim {

// What one phone holds and is called. Parts combine: realistic().withHostileNames().
class Fixture {
public:
    static Fixture realistic();  // camera, screenshots, pictures, movies, music, downloads, app data
    static Fixture hostile();    // names that test quoting, empty and deep folders
    static Fixture empty();

    Fixture& withHostileNames();
    Fixture& withManyFiles();  // a folder of 10,000 files (slow to make: ask only when needed)
    Fixture& withHugeFile();   // a sparse file larger than 4 GiB
    Fixture& serial(std::string serialNumber);

    const std::string& serialNumber() const { return serial_; }
    std::string parts() const;  // "realistic+hostile", as the simulator's --phone option takes it

private:
    explicit Fixture(std::string part) : parts_{std::move(part)} {}
    std::vector<std::string> parts_;
    std::string serial_ = "SIMPHONE01";
};

struct Options {
    std::vector<Fixture> phones;   // empty: one realistic phone "SIMPHONE01"
    std::string mode = "default";  // "current": the stand-in behaves as Debian's adb 29 does
    std::chrono::milliseconds startTimeout{30000};
};

struct AdbResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out;
    std::string err;
};

class Simulator {
public:
    static std::unique_ptr<Simulator> start(const Fixture& fixture = Fixture::realistic());
    static std::unique_ptr<Simulator> start(const Options& options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // A private folder with an executable "adb" bound to this instance and "Tidewell.apk".
    const std::filesystem::path& resourceDir() const { return resourceDir_; }
    std::filesystem::path adbPath() const { return resourceDir_ / "adb"; }
    const std::filesystem::path& folder() const { return folder_; }
    pid_t pid() const { return pid_; }
    std::string serial(std::size_t index = 0) const;
    std::vector<std::string> serials() const;
    // Host folder holding the phone's shared storage ("/sdcard" and its aliases).
    std::filesystem::path phoneRoot(const std::string& serial) const;
    // Entries that lead a program looking adb up by $ORVANE_ADB or $PATH (the product's own
    // adb program) to the stand-in: "ORVANE_ADB=...", "PATH=<resourceDir>:<current PATH>".
    std::vector<std::string> environment() const;

    // Settings: "battery", "name", "state" ("device", "unauthorized", "offline" or a comma list
    // stepped through by successive `adb devices`), "version", "apk-version", "heartbeat",
    // "transfer-rate", "reply-delay", "ps-misses", "list-as-string", "prop.NAME", "mode", ...
    void set(const std::string& serial, const std::string& key, const std::string& value);
    void setMode(const std::string& mode);  // the simulator's dialect for every phone
    // Switches: "reset-once", "reset-always", "silent", "zero-length", "short-body",
    // "truncated", "oversized", "bad-gzip", "stall-transfer", "install-unknown-sources",
    // "service-never-starts", and the states "unauthorized" / "offline".
    void misbehave(const std::string& serial, const std::string& name, bool on = true);
    void unplug(const std::string& serial);
    void replug(const std::string& serial);

    // Phone-side changes made as the phone's owner would (they push change events); shell()
    // returns the command's standard output and is not logged as a product command.
    std::string shell(const std::string& serial, const std::string& command);
    void putFile(const std::string& serial, const std::string& phonePath, std::string_view bytes);

    // Frames on every keep-alive connection: a push of `type` carrying JSON, or raw bytes.
    int inject(const std::string& serial, int type, const nlohmann::json& payload);
    int injectRaw(const std::string& serial, std::string_view bytes);
    nlohmann::json keepAlive(const std::string& serial);  // connections, watches, answers
    // Event log: "adb" command lines, "expansion"s by the phone's shell, "companion" frames,
    // "tree" changes, "broadcast", "install", "watch"... Filter by serial and kind.
    nlohmann::json log(const std::string& serial = {}, const std::string& kind = {});
    void clearLog();
    bool waitIdle(std::chrono::milliseconds timeout);  // no pull or push running

    // Run the stand-in adb with these arguments (as the product would).
    AdbResult adb(const std::vector<std::string>& args,
                  std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;
    // One raw control request ({"op": ...}); throws std::runtime_error on an error answer.
    nlohmann::json request(nlohmann::json req) const;

    void stop();  // what the destructor does; idempotent

private:
    Simulator() = default;
    void launch(const Options& options);

    std::filesystem::path folder_;
    std::filesystem::path resourceDir_;
    std::filesystem::path socket_;
    nlohmann::json info_;
    pid_t pid_ = -1;
    int stdinFd_ = -1;   // the simulator exits when this closes, even if we crash
    int stdoutFd_ = -1;  // end of file here means the simulator has exited
};

}  // namespace phonesim
