#include "core/adbtool/TransferRunner.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>

#include "core/adbtool/PhoneFileSize.h"
#include "core/adbtool/TerminalOutputFilter.h"

extern char** environ;

namespace orv::adbtool {

namespace {

// adb shortens progress lines to the terminal's width; a wide terminal keeps
// them whole.
constexpr unsigned short kTerminalColumns = 4096;
// Enough for any `ls -ld` line; more is not a listing of one file.
constexpr size_t kListingLimit = 64 * 1024;

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    void reset(int fd = -1)
    {
        if (fd_ >= 0)
            close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

std::vector<std::string> environmentWith(std::string_view name, std::string_view value)
{
    std::vector<std::string> entries;
    for (char** entry = environ; entry && *entry; ++entry) {
        std::string_view text = *entry;
        if (text.size() > name.size() && text.substr(0, name.size()) == name &&
            text[name.size()] == '=')
            continue;
        entries.emplace_back(text);
    }
    entries.push_back(std::string(name) + "=" + std::string(value));
    return entries;
}

std::vector<std::string> currentEnvironment()
{
    std::vector<std::string> entries;
    for (char** entry = environ; entry && *entry; ++entry)
        entries.emplace_back(*entry);
    return entries;
}

std::vector<std::string> adbArgv(const AdbInvocation& invocation,
                                  std::initializer_list<std::string> args)
{
    std::vector<std::string> argv{"adb"};
    argv.insert(argv.end(), invocation.globals.begin(), invocation.globals.end());
    argv.insert(argv.end(), args);
    return argv;
}

std::optional<uint64_t> localFileSize(const std::string& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return static_cast<uint64_t>(st.st_size);
}

std::optional<uint64_t> phoneFileSize(const std::string& adb, const AdbInvocation& invocation,
                                      const std::string& remote, Supervisor& supervisor)
{
    std::array<int, 2> pipeFds{};
    if (pipe2(pipeFds.data(), O_CLOEXEC) != 0)
        return std::nullopt;
    Descriptor readEnd(pipeFds[0]);
    Descriptor writeEnd(pipeFds[1]);
    Descriptor null(open("/dev/null", O_RDWR | O_CLOEXEC));
    CStringArray argv(adbArgv(invocation, {"shell", "-x", phoneFileSizeCommand(remote)}));
    CStringArray environment(currentEnvironment());
    ChildSpec spec{adb, &argv, &environment, null.get(), writeEnd.get(), null.get()};
    if (!supervisor.start(spec))
        return std::nullopt;
    writeEnd.reset();
    std::string listing;
    int status = supervisor.wait(readEnd.get(), [&](std::string_view chunk) {
        if (listing.size() < kListingLimit)
            listing.append(chunk);
    });
    if (!WIFEXITED(status) || listing.size() >= kListingLimit)
        return std::nullopt;
    return parsePhoneFileSize(listing);
}

struct Terminal {
    Descriptor controller;
    Descriptor device;
};

bool openTerminal(Terminal& terminal)
{
    int controller = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (controller < 0)
        return false;
    terminal.controller.reset(controller);
    std::array<char, 128> name{};
    if (grantpt(controller) != 0 || unlockpt(controller) != 0 ||
        ptsname_r(controller, name.data(), name.size()) != 0)
        return false;
    int device = open(name.data(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (device < 0)
        return false;
    terminal.device.reset(device);
    // Raw: adb's bytes arrive as written, newlines not turned into "\r\n".
    termios mode{};
    if (tcgetattr(device, &mode) == 0) {
        cfmakeraw(&mode);
        tcsetattr(device, TCSANOW, &mode);
    }
    winsize size{};
    size.ws_row = 24;
    size.ws_col = kTerminalColumns;
    ioctl(device, TIOCSWINSZ, &size);
    return true;
}

// Where a pull puts the file: into the destination when that is a folder.
std::string pullDestination(const Transfer& transfer)
{
    struct stat st {};
    if (stat(transfer.local.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return transfer.local;
    std::string_view remote = transfer.remote;
    while (remote.size() > 1 && remote.back() == '/')
        remote.remove_suffix(1);
    size_t slash = remote.rfind('/');
    std::string_view name = slash == std::string_view::npos ? remote : remote.substr(slash + 1);
    return transfer.local + "/" + std::string(name);
}

// Older adb made the folders a pull goes into, and the bridge pulls a folder's
// files into the same tree on the computer without making its folders first;
// Debian's adb 29 refuses ("cannot create file/directory").
void makeFoldersForPull(const std::string& destination)
{
    std::filesystem::path folder = std::filesystem::path(destination).parent_path();
    std::error_code ignored;  // adb reports what cannot be created
    if (!folder.empty())
        std::filesystem::create_directories(folder, ignored);
}

// What was at the pull's destination before adb ran, so that only a file
// adb has written is removed after a pull that did not complete. adb unlinks
// and recreates the file, which may get the old inode number back, so the
// change time tells as well.
struct DestinationBefore {
    std::string path;
    bool existed = false;
    dev_t device = 0;
    ino_t inode = 0;
    timespec changed{};
};

DestinationBefore recordDestination(const Transfer& transfer)
{
    DestinationBefore before{pullDestination(transfer)};
    struct stat st {};
    if (lstat(before.path.c_str(), &st) == 0) {
        before.existed = true;
        before.device = st.st_dev;
        before.inode = st.st_ino;
        before.changed = st.st_ctim;
    }
    return before;
}

void removePartialPull(const DestinationBefore& before)
{
    struct stat st {};
    if (lstat(before.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    if (before.existed && st.st_dev == before.device && st.st_ino == before.inode &&
        st.st_ctim.tv_sec == before.changed.tv_sec && st.st_ctim.tv_nsec == before.changed.tv_nsec)
        return;
    unlink(before.path.c_str());
}

}  // namespace

std::string progressLine(uint64_t total, int percent)
{
    // total * percent / 100 without overflow for any 64-bit size.
    uint64_t p = static_cast<uint64_t>(percent);
    uint64_t done = total / 100 * p + total % 100 * p / 100;
    return "Transferring: " + std::to_string(done) + "/" + std::to_string(total) + " (" +
           std::to_string(percent) + "%)\n";
}

int runTransfer(const std::string& adb, const AdbInvocation& invocation, const Plan& plan,
                Supervisor& supervisor)
{
    const Transfer& transfer = plan.transfer;
    const bool pull = transfer.direction == TransferDirection::Pull;
    std::optional<uint64_t> total;
    if (transfer.singleSource) {
        total = pull ? phoneFileSize(adb, invocation, transfer.remote, supervisor)
                     : localFileSize(transfer.local);
    }
    if (supervisor.stopSignal() != 0)
        return supervisor.stopSignal();  // the wait status of an end by that signal

    std::optional<DestinationBefore> destination;
    if (pull && transfer.singleSource) {
        destination = recordDestination(transfer);
        makeFoldersForPull(destination->path);
    }

    std::vector<std::string> argv{"adb"};
    argv.insert(argv.end(), plan.argv.begin(), plan.argv.end());
    CStringArray adbArgs(std::move(argv));
    // adb draws progress only on a terminal it believes can redraw a line.
    CStringArray environment(environmentWith("TERM", "xterm"));

    Terminal terminal;
    const bool onTerminal = openTerminal(terminal);
    ChildSpec spec{adb, &adbArgs, &environment, -1, onTerminal ? terminal.device.get() : -1, -1};
    if (!supervisor.start(spec)) {
        std::string message = "adb: cannot run " + adb + ": " + std::strerror(errno) + "\n";
        writeAll(STDERR_FILENO, message);
        return 127 << 8;
    }
    terminal.device.reset();

    int lastPercent = -1;
    auto reportPercent = [&](int percent) {
        if (!total || *total == 0 || percent == lastPercent)
            return;
        lastPercent = percent;
        writeAll(STDERR_FILENO, progressLine(*total, percent));
    };
    TerminalOutputFilter filter(
        [](std::string_view line) {
            std::string text(line);
            text.push_back('\n');
            writeAll(STDOUT_FILENO, text);
        },
        reportPercent);
    int status = supervisor.wait(onTerminal ? terminal.controller.get() : -1,
                                 [&](std::string_view chunk) { filter.feed(chunk); });
    filter.finish();

    const bool succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    // adb may finish a short transfer without drawing its last percentage.
    if (succeeded && lastPercent < 100)
        reportPercent(100);
    if (!succeeded && destination)
        removePartialPull(*destination);
    return status;
}

}  // namespace orv::adbtool
