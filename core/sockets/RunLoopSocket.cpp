#include "core/sockets/RunLoopSocket.h"

#include "platform/RunLoopSource.h"

#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orv {

std::shared_ptr<RunLoopSocket> RunLoopSocket::create(int domain, int type, int protocol, unsigned callBackTypes,
                                                     Callback callback)
{
    const int fd = ::socket(domain, type | SOCK_CLOEXEC | SOCK_NONBLOCK, protocol);
    if (fd == -1)
        return nullptr;
    const int on = 1;
    if (domain == AF_INET6 && ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return nullptr;
    }
    return std::make_shared<RunLoopSocket>(PrivateTag{}, fd, callBackTypes, std::move(callback));
}

RunLoopSocket::RunLoopSocket(PrivateTag, int fd, unsigned callBackTypes, Callback callback)
    : fd_(fd), callBackTypes_(callBackTypes), enabled_(callBackTypes), callback_(std::move(callback))
{
}

RunLoopSocket::~RunLoopSocket()
{
    invalidate();
}

void RunLoopSocket::enableCallBacks(unsigned types)
{
    enabled_ |= types & callBackTypes_;
    updateEvents();
}

void RunLoopSocket::disableCallBacks(unsigned types)
{
    enabled_ &= ~types;
    updateEvents();
}

bool RunLoopSocket::setAddress(const Bytes& address)
{
    return fd_ != -1 &&
           ::bind(fd_, reinterpret_cast<const sockaddr*>(address.data()), static_cast<socklen_t>(address.size())) == 0;
}

bool RunLoopSocket::connectToAddress(const Bytes& address)
{
    return fd_ != -1 && ::connect(fd_, reinterpret_cast<const sockaddr*>(address.data()),
                                  static_cast<socklen_t>(address.size())) == 0;
}

void RunLoopSocket::schedule(RunLoop& loop, const std::vector<RunLoopMode>& modes)
{
    if (fd_ == -1)
        return;
    if (!source_) {
        std::weak_ptr<RunLoopSocket> weakSelf = weak_from_this();
        source_ = RunLoopSource::make(fd_, 0, [weakSelf](RunLoopSource&, unsigned events) {
            if (auto self = weakSelf.lock())
                self->fired(events);
        });
        updateEvents();
    }
    for (const RunLoopMode& mode : modes)
        loop.addSource(source_, mode);
}

void RunLoopSocket::unschedule(RunLoop& loop, const std::vector<RunLoopMode>& modes)
{
    if (!source_)
        return;
    for (const RunLoopMode& mode : modes)
        loop.removeSource(source_, mode);
}

void RunLoopSocket::invalidate()
{
    if (source_) {
        source_->invalidate();
        source_.reset();
    }
    if (fd_ != -1 && (flags_ & kCloseOnInvalidate))
        ::close(fd_);
    fd_ = -1;
    callback_ = nullptr;
}

void RunLoopSocket::updateEvents()
{
    if (!source_)
        return;
    unsigned events = 0;
    if (enabled_ & kReadCallBack)
        events |= RunLoopSource::Readable;
    if (enabled_ & kWriteCallBack)
        events |= RunLoopSource::Writable;
    source_->setEvents(events);
}

void RunLoopSocket::fired(unsigned events)
{
    // Held for the call: the callback may invalidate this socket.
    auto self = shared_from_this();
    for (const CallBackType type : {kWriteCallBack, kReadCallBack}) {
        const bool ready = type == kReadCallBack ? (events & RunLoopSource::Readable) : (events & RunLoopSource::Writable);
        if (!ready || !(enabled_ & type) || !callback_)
            continue;
        const unsigned reenable = type == kReadCallBack ? kAutomaticallyReenableReadCallBack
                                                        : kAutomaticallyReenableWriteCallBack;
        if (!(flags_ & reenable)) {
            enabled_ &= ~type;
            updateEvents();
        }
        Callback callback = callback_;
        callback(*this, type);
    }
}

}  // namespace orv
