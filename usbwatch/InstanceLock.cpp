#include "usbwatch/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace orv::usb {

namespace {

void setError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

std::string systemText(const std::string& what, int code) { return what + ": " + std::strerror(code); }

}  // namespace

std::filesystem::path InstanceLock::runtimeDirectory(std::string* error) {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/') {
        struct stat info{};
        if (::stat(runtime, &info) == 0 && S_ISDIR(info.st_mode)) return runtime;
    }
    const uid_t uid = ::getuid();
    const std::filesystem::path fallback = "/tmp/orvane-" + std::to_string(uid);
    if (::mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST) {
        setError(error, systemText("cannot make " + fallback.string(), errno));
        return {};
    }
    // Someone else may have made the name first: accept only our own private
    // folder, never a link to elsewhere.
    struct stat info{};
    if (::lstat(fallback.c_str(), &info) != 0) {
        setError(error, systemText("cannot inspect " + fallback.string(), errno));
        return {};
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != uid || (info.st_mode & 077) != 0) {
        setError(error, fallback.string() + " is not a private folder of this user");
        return {};
    }
    return fallback;
}

InstanceLock::Status InstanceLock::tryAcquire(const std::string& name, std::unique_ptr<InstanceLock>& lock,
                                              std::string* error) {
    lock.reset();
    const auto folder = runtimeDirectory(error);
    if (folder.empty()) return Status::Failed;
    const auto path = folder / name;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        setError(error, systemText("cannot open " + path.string(), errno));
        return Status::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        ::close(fd);
        if (code == EWOULDBLOCK) return Status::HeldElsewhere;
        setError(error, systemText("cannot lock " + path.string(), code));
        return Status::Failed;
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
        // The lock itself holds; only the pid note is missing.
    }
    lock.reset(new InstanceLock(fd, path));
    return Status::Acquired;
}

bool InstanceLock::isHeld(const std::string& name) {
    const auto folder = runtimeDirectory();
    if (folder.empty()) return false;
    int fd = ::open((folder / name).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);  // also drops the shared lock if we got it
    return held;
}

std::optional<pid_t> InstanceLock::holder(const std::string& name) {
    if (!isHeld(name)) return std::nullopt;
    const auto folder = runtimeDirectory();
    int fd = ::open((folder / name).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return std::nullopt;
    char buffer[32] = {};
    ssize_t count = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (count <= 0) return std::nullopt;
    char* end = nullptr;
    long pid = std::strtol(buffer, &end, 10);
    if (end == buffer || pid <= 0) return std::nullopt;
    return static_cast<pid_t>(pid);
}

InstanceLock::~InstanceLock() {
    // Closing drops the lock. The file stays: removing it would let a second
    // holder lock a fresh file while a third still holds the old one.
    ::close(fd_);
}

}  // namespace orv::usb
