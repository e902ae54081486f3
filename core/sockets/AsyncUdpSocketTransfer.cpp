// AsyncUdpSocket: the send queue and the receive queue, each served one
// request at a time when its socket is ready, with timeouts.
#include "core/sockets/AsyncUdpSocket.h"

#include "core/sockets/SocketAddress.h"
#include "platform/RunLoopTimer.h"

#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace orv {

namespace {

// One descriptor, any number: poll has no descriptor-set limit.
bool isReady(int fd, short event)
{
    if (fd == -1)
        return false;
    pollfd p{fd, event, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & (event | POLLERR | POLLHUP));
}

}  // namespace

std::shared_ptr<RunLoopTimer> AsyncUdpSocket::makeTimer(double timeout, void (AsyncUdpSocket::*handler)(RunLoopTimer&))
{
    auto timer = RunLoopTimer::makeWithTarget<AsyncUdpSocket>(
        std::chrono::nanoseconds(static_cast<int64_t>(timeout * 1e9)), false, weak_from_this(),
        [handler](AsyncUdpSocket& self, RunLoopTimer& t) { (self.*handler)(t); });
    if (runLoop_)
        for (const auto& mode : runLoopModes_)
            runLoop_->addTimer(timer, mode);
    return timer;
}

void AsyncUdpSocket::socketCallback(RunLoopSocket& socket, RunLoopSocket::CallBackType type)
{
    const bool is4 = &socket == socket4_.get();
    if (type == RunLoopSocket::kWriteCallBack) {
        flags_ |= is4 ? kFlagSocket4CanAcceptBytes : kFlagSocket6CanAcceptBytes;
        doSend(socket);
    } else {
        flags_ |= is4 ? kFlagSocket4HasBytesAvailable : kFlagSocket6HasBytesAvailable;
        doReceive(socket);
    }
}

// ---------------------------------------------------------------------------
// Sending

bool AsyncUdpSocket::sendData(const Bytes& data, double timeout, long tag)
{
    if (data.empty() || (flags_ & (kFlagClosed | kFlagForbidSendReceive)) || !isConnected())
        return false;
    sendQueue_.push_back(AsyncSendPacket{data, std::nullopt, timeout, tag});
    scheduleDequeueSend();
    return true;
}

bool AsyncUdpSocket::sendData(const Bytes& data, const std::string& host, uint16_t port, double timeout, long tag)
{
    if (data.empty() || (flags_ & (kFlagClosed | kFlagForbidSendReceive)) || isConnected())
        return false;
    std::optional<Bytes> address4, address6;
    convertForSendHost(host, port, &address4, &address6);
    std::optional<Bytes> address;
    if (address4 && socket4_)
        address = address4;
    else if (address6 && socket6_)
        address = address6;
    else
        return false;
    sendQueue_.push_back(AsyncSendPacket{data, address, timeout, tag});
    scheduleDequeueSend();
    return true;
}

bool AsyncUdpSocket::sendData(const Bytes& data, const Bytes& remoteAddr, double timeout, long tag)
{
    if (data.empty() || (flags_ & (kFlagClosed | kFlagForbidSendReceive)) || isConnected())
        return false;
    // Only a whole address of a family this socket still has.
    if (!(socketaddress::isWhole4(remoteAddr) && remoteAddr.size() == sizeof(sockaddr_in) && socket4_) &&
        !(socketaddress::isWhole6(remoteAddr) && remoteAddr.size() == sizeof(sockaddr_in6) && socket6_))
        return false;
    sendQueue_.push_back(AsyncSendPacket{data, remoteAddr, timeout, tag});
    scheduleDequeueSend();
    return true;
}

void AsyncUdpSocket::scheduleDequeueSend()
{
    if (flags_ & kFlagDequeueSendScheduled)
        return;
    flags_ |= kFlagDequeueSendScheduled;
    schedule("maybeDequeueSend", &AsyncUdpSocket::maybeDequeueSend);
}

void AsyncUdpSocket::maybeDequeueSend()
{
    flags_ &= ~kFlagDequeueSendScheduled;
    if (currentSend_)
        return;
    if (!sendQueue_.empty()) {
        currentSend_ = std::move(sendQueue_.front());
        sendQueue_.pop_front();
        if (currentSend_->timeout >= 0.0)
            sendTimer_ = makeTimer(currentSend_->timeout, &AsyncUdpSocket::doSendTimeout);
        if (RunLoopSocket* socket = socketForPacket(*currentSend_))
            doSend(*socket);
    } else if (flags_ & kFlagCloseAfterSends) {
        if ((flags_ & kFlagCloseAfterReceives) && (currentReceive_ || !receiveQueue_.empty()))
            return;
        close();
    }
}

RunLoopSocket* AsyncUdpSocket::socketForPacket(const AsyncSendPacket& packet) const
{
    if (socket4_ && socket6_)
        return packet.address && packet.address->size() == sizeof(sockaddr_in) ? socket4_.get() : socket6_.get();
    return socket4_ ? socket4_.get() : socket6_.get();
}

bool AsyncUdpSocket::canAcceptBytes(RunLoopSocket& socket) const
{
    const uint16_t bit = &socket == socket4_.get() ? kFlagSocket4CanAcceptBytes : kFlagSocket6CanAcceptBytes;
    return (flags_ & bit) || isReady(socket.nativeHandle(), POLLOUT);
}

void AsyncUdpSocket::doSend(RunLoopSocket& socket)
{
    if (!currentSend_ || socketForPacket(*currentSend_) != &socket)
        return;
    if (!canAcceptBytes(socket)) {
        socket.enableCallBacks(RunLoopSocket::kReadCallBack | RunLoopSocket::kWriteCallBack);
        return;
    }
    const AsyncSendPacket& packet = *currentSend_;
    ssize_t result;
    if (isConnected()) {
        result = ::send(socket.nativeHandle(), packet.buffer.data(), packet.buffer.size(), MSG_NOSIGNAL);
    } else {
        result = ::sendto(socket.nativeHandle(), packet.buffer.data(), packet.buffer.size(), MSG_NOSIGNAL,
                          reinterpret_cast<const sockaddr*>(packet.address->data()),
                          static_cast<socklen_t>(packet.address->size()));
    }
    const int savedErrno = errno;
    flags_ &= ~(&socket == socket4_.get() ? kFlagSocket4CanAcceptBytes : kFlagSocket6CanAcceptBytes);
    if (result < 0 && (savedErrno == EAGAIN || savedErrno == EWOULDBLOCK)) {
        // Full after all: wait for the socket.
        socket.enableCallBacks(RunLoopSocket::kReadCallBack | RunLoopSocket::kWriteCallBack);
        return;
    }
    if (result < 0) {
        failCurrentSend(getErrnoError(savedErrno));
    } else {
        flags_ |= kFlagBound;
        completeCurrentSend();
    }
    scheduleDequeueSend();
}

void AsyncUdpSocket::completeCurrentSend()
{
    const long tag = currentSend_->tag;
    if (auto delegate = delegate_.lock())
        delegate->onUdpSocketDidSendDataWithTag(*this, tag);
    if (currentSend_)
        endCurrentSend();
}

void AsyncUdpSocket::failCurrentSend(const Error& error)
{
    const long tag = currentSend_->tag;
    if (auto delegate = delegate_.lock())
        delegate->onUdpSocketDidNotSendDataWithTag(*this, tag, error);
    if (currentSend_)
        endCurrentSend();
}

void AsyncUdpSocket::endCurrentSend()
{
    if (sendTimer_) {
        sendTimer_->invalidate();
        sendTimer_.reset();
    }
    currentSend_.reset();
}

void AsyncUdpSocket::doSendTimeout(RunLoopTimer& timer)
{
    if (&timer != sendTimer_.get() || !currentSend_)
        return;
    failCurrentSend(getSendTimeoutError());
    scheduleDequeueSend();
}

// ---------------------------------------------------------------------------
// Receiving

void AsyncUdpSocket::receiveWithTimeout(double timeout, long tag)
{
    if (flags_ & (kFlagClosed | kFlagForbidSendReceive))
        return;
    receiveQueue_.emplace_back(timeout, tag);
    scheduleDequeueReceive();
}

void AsyncUdpSocket::scheduleDequeueReceive()
{
    if (flags_ & kFlagDequeueReceiveScheduled)
        return;
    flags_ |= kFlagDequeueReceiveScheduled;
    schedule("maybeDequeueReceive", &AsyncUdpSocket::maybeDequeueReceive);
}

void AsyncUdpSocket::maybeDequeueReceive()
{
    flags_ &= ~kFlagDequeueReceiveScheduled;
    if (currentReceive_)
        return;
    if (!receiveQueue_.empty()) {
        currentReceive_ = std::move(receiveQueue_.front());
        receiveQueue_.pop_front();
        if (currentReceive_->timeout >= 0.0)
            receiveTimer_ = makeTimer(currentReceive_->timeout, &AsyncUdpSocket::doReceiveTimeout);
        // The first request tries the IPv6 socket first, then they alternate.
        // Each socket is held for the call: a delegate may close this one.
        auto first = (flags_ & kFlagReceive4First) ? socket4_ : socket6_;
        auto second = (flags_ & kFlagReceive4First) ? socket6_ : socket4_;
        if (first)
            doReceive(*first);
        if (second && second->isValid())
            doReceive(*second);
        flags_ ^= kFlagReceive4First;
    } else if (flags_ & kFlagCloseAfterReceives) {
        if ((flags_ & kFlagCloseAfterSends) && (currentSend_ || !sendQueue_.empty()))
            return;
        close();
    }
}

bool AsyncUdpSocket::hasBytesAvailable(RunLoopSocket& socket) const
{
    const uint16_t bit = &socket == socket4_.get() ? kFlagSocket4HasBytesAvailable : kFlagSocket6HasBytesAvailable;
    return (flags_ & bit) || isReady(socket.nativeHandle(), POLLIN);
}

void AsyncUdpSocket::doReceive(RunLoopSocket& socket)
{
    const bool is4 = &socket == socket4_.get();
    while (currentReceive_ && socket.isValid()) {
        if (!hasBytesAvailable(socket)) {
            socket.enableCallBacks(RunLoopSocket::kReadCallBack | RunLoopSocket::kWriteCallBack);
            return;
        }
        auto buffer = Bytes(maxReceiveBufferSize_);
        sockaddr_storage sender{};
        socklen_t senderLength = is4 ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
        // MSG_TRUNC: the real length, so a cut datagram is never taken for a whole one.
        const ssize_t result = ::recvfrom(socket.nativeHandle(), buffer.data(), buffer.size(), MSG_TRUNC,
                                          reinterpret_cast<sockaddr*>(&sender), &senderLength);
        const int savedErrno = errno;
        flags_ &= ~(is4 ? kFlagSocket4HasBytesAvailable : kFlagSocket6HasBytesAvailable);
        if (result < 0 && (savedErrno == EAGAIN || savedErrno == EWOULDBLOCK))
            continue;  // the poll said ready, the datagram went elsewhere: wait again
        if (result < 0) {
            failCurrentReceive(getErrnoError(savedErrno));
            scheduleDequeueReceive();
            return;
        }
        const auto* s = reinterpret_cast<const uint8_t*>(&sender);
        const Bytes address(s, s + std::min<size_t>(senderLength, sizeof sender));
        std::string host;
        uint16_t port = 0;
        socketaddress::read(address, &host, &port, nullptr);
        if (isConnected() && !isConnectedToHost(host, port))
            continue;
        if (static_cast<size_t>(result) > buffer.size()) {
            failCurrentReceive(getDatagramTooLongError(static_cast<size_t>(result), buffer.size()));
            scheduleDequeueReceive();
            return;
        }
        buffer.resize(static_cast<size_t>(result));
        currentReceive_->buffer = std::move(buffer);
        currentReceive_->host = host;
        currentReceive_->port = port;
        if (maybeCompleteCurrentReceive()) {
            scheduleDequeueReceive();
            return;
        }
        if (currentReceive_) {
            currentReceive_->buffer.reset();
            currentReceive_->host.reset();
        }
    }
}

bool AsyncUdpSocket::maybeCompleteCurrentReceive()
{
    if (auto delegate = delegate_.lock()) {
        const AsyncReceivePacket packet = *currentReceive_;
        const std::optional<bool> taken =
            delegate->onUdpSocketDidReceiveData(*this, *packet.buffer, packet.tag, *packet.host, packet.port);
        if (taken.has_value() && !*taken)
            return false;
    }
    if (currentReceive_)
        endCurrentReceive();
    return true;
}

void AsyncUdpSocket::failCurrentReceive(const Error& error)
{
    const long tag = currentReceive_->tag;
    if (auto delegate = delegate_.lock())
        delegate->onUdpSocketDidNotReceiveDataWithTag(*this, tag, error);
    if (currentReceive_)
        endCurrentReceive();
}

void AsyncUdpSocket::endCurrentReceive()
{
    if (receiveTimer_) {
        receiveTimer_->invalidate();
        receiveTimer_.reset();
    }
    currentReceive_.reset();
}

void AsyncUdpSocket::doReceiveTimeout(RunLoopTimer& timer)
{
    if (&timer != receiveTimer_.get() || !currentReceive_)
        return;
    failCurrentReceive(getReceiveTimeoutError());
    scheduleDequeueReceive();
}

}  // namespace orv
