#include "core/bridge/process/FileHandle.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace orv {

namespace {

constexpr size_t kReadSize = 64 * 1024;

// Reads once into the end of `data`; the count read, 0 at end of file.
ssize_t readInto(int fd, std::vector<uint8_t>& data)
{
    size_t used = data.size();
    data.resize(used + kReadSize);
    ssize_t count;
    do {
        count = ::read(fd, data.data() + used, kReadSize);
    } while (count < 0 && errno == EINTR);
    data.resize(used + static_cast<size_t>(count > 0 ? count : 0));
    return count;
}

}  // namespace

FileHandle::~FileHandle()
{
    closeFile();
}

std::vector<uint8_t> FileHandle::readDataToEndOfFile()
{
    std::vector<uint8_t> data;
    if (fd_ < 0)
        return data;
    while (readInto(fd_, data) > 0) {
    }
    return data;
}

std::vector<uint8_t> FileHandle::availableData()
{
    std::vector<uint8_t> data;
    if (fd_ >= 0)
        readInto(fd_, data);
    return data;
}

bool FileHandle::writeData(const std::vector<uint8_t>& data)
{
    if (fd_ < 0) {
        errno = EBADF;
        return false;
    }
    // SIGPIPE is blocked on this thread for the write; one the write raises
    // is taken off the pending set before the mask is restored, so it never
    // reaches the process. One already pending belongs to someone else.
    sigset_t pipeSignal;
    sigset_t previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    sigset_t pending;
    sigpending(&pending);
    bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;

    bool ok = true;
    size_t done = 0;
    while (done < data.size()) {
        ssize_t count = ::write(fd_, data.data() + done, data.size() - done);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(count);
    }
    int saved = errno;
    if (!ok && saved == EPIPE && !alreadyPending) {
        timespec now{};
        while (sigtimedwait(&pipeSignal, nullptr, &now) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = saved;
    return ok;
}

void FileHandle::closeFile()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace orv
