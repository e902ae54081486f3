// GCDAsyncUdpSocket: creating the system sockets, the read and write sources
// that drive them, and closing them.
#include "core/sockets/GCDAsyncUdpSocket.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orv {

int GCDAsyncUdpSocket::createSocket(int domain, Error* errPtr)
{
    auto fail = [&](const char* reason, int fd) {
        const int savedErrno = errno;
        if (fd != -1)
            ::close(fd);
        if (errPtr)
            *errPtr = errnoErrorWithReason(reason, savedErrno);
        return -1;
    };
    // Close-on-exec: the adb server this library starts must not inherit it.
    const int fd = ::socket(domain, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd == -1)
        return fail("Error in socket() function", -1);
    if (::fcntl(fd, F_SETFL, O_NONBLOCK) == -1)
        return fail("Error enabling non-blocking IO on socket (fcntl)", fd);
    const int on = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == -1)
        return fail("Error enabling address reuse (setsockopt)", fd);
    // The IPv4 socket serves IPv4; without this an IPv6 socket would take
    // IPv4 traffic too and both could not bind one port.
    if (domain == AF_INET6 && ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) == -1)
        return fail("Error limiting socket to IPv6 (setsockopt)", fd);
    return fd;
}

bool GCDAsyncUdpSocket::createSockets(bool useIPv4, bool useIPv6, Error* errPtr)
{
    if (useIPv4) {
        f4_.fd = createSocket(AF_INET, errPtr);
        if (f4_.fd == -1)
            return false;
    }
    if (useIPv6) {
        f6_.fd = createSocket(AF_INET6, errPtr);
        if (f6_.fd == -1) {
            if (f4_.fd != -1) {
                ::close(f4_.fd);
                f4_.fd = -1;
            }
            return false;
        }
    }
    if (useIPv4)
        setupSendAndReceiveSources(AF_INET);
    if (useIPv6)
        setupSendAndReceiveSources(AF_INET6);
    flags_ |= kDidCreateSockets;
    return true;
}

bool GCDAsyncUdpSocket::createSockets(Error* errPtr)
{
    return createSockets((config_ & kIPv4Disabled) == 0, (config_ & kIPv6Disabled) == 0, errPtr);
}

void GCDAsyncUdpSocket::setupSendAndReceiveSources(int af)
{
    Family& f = family(af);
    const FamilyBits bits = bitsOf(af);
    f.sendSource = dispatch::Source::makeWrite(f.fd, socketQueue_);
    f.receiveSource = dispatch::Source::makeRead(f.fd, socketQueue_);

    std::weak_ptr<GCDAsyncUdpSocket> weakSelf = weak_from_this();
    f.sendSource->setEventHandler([weakSelf, af, bits] {
        auto self = weakSelf.lock();
        if (!self)
            return;
        self->flags_ |= bits.canAcceptBytes;
        auto packet = self->currentSendPacket();
        if (packet && !packet->resolveInProgress && !packet->filterInProgress)
            self->doSend();
        else
            self->suspendSendSource(af);
    });
    dispatch::SourceRef receiveSource = f.receiveSource;
    f.receiveSource->setEventHandler([weakSelf, af, source = std::weak_ptr<dispatch::Source>(receiveSource)] {
        auto self = weakSelf.lock();
        auto strongSource = source.lock();
        if (self && strongSource)
            self->receiveSourceFired(af, strongSource->data());
    });

    // The descriptor is closed by whichever source finishes last, so no
    // handler ever runs on a closed or reused descriptor.
    auto remaining = std::make_shared<std::atomic<int>>(2);
    auto cancelHandler = [remaining, fd = f.fd] {
        if (remaining->fetch_sub(1) == 1)
            ::close(fd);
    };
    f.sendSource->setCancelHandler(cancelHandler);
    f.receiveSource->setCancelHandler(cancelHandler);

    f.bytesAvailable = 0;
    flags_ |= bits.canAcceptBytes | bits.sendSuspended | bits.receiveSuspended;
}

void GCDAsyncUdpSocket::suspendSendSource(int af)
{
    Family& f = family(af);
    const uint32_t bit = bitsOf(af).sendSuspended;
    if (f.sendSource && !(flags_ & bit)) {
        f.sendSource->suspend();
        flags_ |= bit;
    }
}

void GCDAsyncUdpSocket::resumeSendSource(int af)
{
    Family& f = family(af);
    const uint32_t bit = bitsOf(af).sendSuspended;
    if (f.sendSource && (flags_ & bit)) {
        f.sendSource->resume();
        flags_ &= ~bit;
    }
}

void GCDAsyncUdpSocket::suspendReceiveSource(int af)
{
    Family& f = family(af);
    const uint32_t bit = bitsOf(af).receiveSuspended;
    if (f.receiveSource && !(flags_ & bit)) {
        f.receiveSource->suspend();
        flags_ |= bit;
    }
}

void GCDAsyncUdpSocket::resumeReceiveSource(int af)
{
    Family& f = family(af);
    const uint32_t bit = bitsOf(af).receiveSuspended;
    if (f.receiveSource && (flags_ & bit)) {
        f.receiveSource->resume();
        flags_ &= ~bit;
    }
}

void GCDAsyncUdpSocket::closeSocket(int af)
{
    Family& f = family(af);
    if (f.fd == -1)
        return;
    f.sendSource->cancel();
    f.receiveSource->cancel();
    // A suspended source would never run its cancel handler.
    resumeSendSource(af);
    resumeReceiveSource(af);
    f.sendSource.reset();
    f.receiveSource.reset();
    f.fd = -1;
    f.bytesAvailable = 0;
    flags_ &= ~bitsOf(af).canAcceptBytes;
    f.cachedLocalAddress.reset();
    f.cachedLocalHost.reset();
    f.cachedLocalPort = 0;
}

void GCDAsyncUdpSocket::closeSockets()
{
    closeSocket(AF_INET);
    closeSocket(AF_INET6);
    flags_ &= ~kDidCreateSockets;
}

}  // namespace orv
