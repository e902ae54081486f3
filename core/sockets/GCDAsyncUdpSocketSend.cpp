// GCDAsyncUdpSocket: the send queue. Requests (datagrams and connects) are
// carried out one at a time in call order; each datagram is reported once.
#include "core/sockets/GCDAsyncUdpSocket.h"

#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>

namespace orv {

void GCDAsyncUdpSocket::sendData(std::shared_ptr<const Bytes> data, int64_t tag)
{
    sendData(std::move(data), -1.0, tag);
}

void GCDAsyncUdpSocket::sendData(std::shared_ptr<const Bytes> data, double timeout, int64_t tag)
{
    if (!data || data->empty())
        return;
    queueSend(std::make_shared<GCDAsyncUdpSendPacket>(std::move(data), timeout, tag));
}

void GCDAsyncUdpSocket::sendData(std::shared_ptr<const Bytes> data, const std::string& host, uint16_t port,
                                 double timeout, int64_t tag)
{
    if (!data || data->empty())
        return;
    auto packet = std::make_shared<GCDAsyncUdpSendPacket>(std::move(data), timeout, tag);
    packet->resolveInProgress = true;
    // Resolving starts at once, while the datagram waits its turn.
    std::weak_ptr<GCDAsyncUdpSocket> weakSelf = weak_from_this();
    asyncResolveHost(host.empty() ? std::nullopt : std::optional<std::string>(host), port,
                     [weakSelf, packet](std::vector<Bytes> addresses, std::optional<Error> error) {
                         packet->resolveInProgress = false;
                         packet->resolvedAddresses = std::move(addresses);
                         packet->resolveError = std::move(error);
                         auto self = weakSelf.lock();
                         if (self && self->currentSendPacket() == packet)
                             self->doPreSend();
                     });
    queueSend(std::move(packet));
}

void GCDAsyncUdpSocket::sendData(std::shared_ptr<const Bytes> data, const Bytes& remoteAddr, double timeout,
                                 int64_t tag)
{
    if (!data || data->empty())
        return;
    auto packet = std::make_shared<GCDAsyncUdpSendPacket>(std::move(data), timeout, tag);
    packet->address = remoteAddr;
    packet->addressFamily = familyFromAddress(remoteAddr);
    queueSend(std::move(packet));
}

void GCDAsyncUdpSocket::sendData(Bytes data, const Bytes& remoteAddr, double timeout, int64_t tag)
{
    sendData(std::make_shared<const Bytes>(std::move(data)), remoteAddr, timeout, tag);
}

void GCDAsyncUdpSocket::setSendFilter(SendFilter filter, dispatch::QueueRef filterQueue, bool isAsynchronous)
{
    if (!filter)
        filterQueue = nullptr;
    inlineOrAsyncOnSocketQueue([this, filter = std::move(filter), filterQueue = std::move(filterQueue), isAsynchronous] {
        sendFilterBlock_ = filter;
        sendFilterQueue_ = filterQueue;
        sendFilterAsync_ = isAsynchronous;
    });
}

void GCDAsyncUdpSocket::queueSend(std::shared_ptr<GCDAsyncUdpSendPacket> packet)
{
    // Always through the queue, also from the socket queue itself, so that a
    // send never runs inside the caller.
    socketQueue_->async([self = shared_from_this(), packet = std::move(packet)] {
        self->sendQueue_.emplace_back(packet);
        self->maybeDequeueSend();
    });
}

std::shared_ptr<GCDAsyncUdpSendPacket> GCDAsyncUdpSocket::currentSendPacket() const
{
    if (!currentSend_ || !std::holds_alternative<std::shared_ptr<GCDAsyncUdpSendPacket>>(*currentSend_))
        return nullptr;
    return std::get<std::shared_ptr<GCDAsyncUdpSendPacket>>(*currentSend_);
}

void GCDAsyncUdpSocket::maybeDequeueSend()
{
    if (currentSend_)
        return;
    if (!(flags_ & kDidCreateSockets)) {
        Error error;
        if (!createSockets(&error)) {
            closeWithError(error);
            return;
        }
    }
    while (!sendQueue_.empty()) {
        SendEntry next = std::move(sendQueue_.front());
        sendQueue_.pop_front();
        if (std::holds_alternative<std::shared_ptr<GCDAsyncUdpSpecialPacket>>(next)) {
            currentSend_ = std::move(next);
            maybeConnect();
            return;
        }
        auto packet = std::get<std::shared_ptr<GCDAsyncUdpSendPacket>>(next);
        if (packet->resolveError) {
            notifyDidNotSendDataWithTag(packet->tag, *packet->resolveError);
            continue;
        }
        currentSend_ = std::move(next);
        doPreSend();
        break;
    }
    if (!currentSend_ && (flags_ & kCloseAfterSends))
        closeWithError(std::nullopt);
}

void GCDAsyncUdpSocket::failCurrentSend(const Error& error)
{
    if (auto packet = currentSendPacket())
        notifyDidNotSendDataWithTag(packet->tag, error);
    endCurrentSend();
    maybeDequeueSend();
}

void GCDAsyncUdpSocket::doPreSend()
{
    auto packet = currentSendPacket();
    if (!packet)
        return;
    const bool givenHost = packet->resolveInProgress || packet->resolvedAddresses || packet->resolveError;
    if (flags_ & kDidConnect) {
        if (givenHost) {
            failCurrentSend(badConfigError("Cannot specify destination of packet for connected socket"));
            return;
        }
        packet->address = cachedConnectedAddress_;
        packet->addressFamily = cachedConnectedFamily_;
    } else {
        if (packet->resolveInProgress) {
            // A writable socket must not wake the queue while the name resolves.
            if (flags_ & kSock4CanAcceptBytes)
                suspendSendSource(AF_INET);
            if (flags_ & kSock6CanAcceptBytes)
                suspendSendSource(AF_INET6);
            return;
        }
        if (packet->resolveError) {
            failCurrentSend(*packet->resolveError);
            return;
        }
        if (!packet->address) {
            if (!packet->resolvedAddresses) {
                failCurrentSend(badConfigError("You must specify destination of packet for a non-connected socket"));
                return;
            }
            Error error;
            packet->addressFamily = getAddress(&packet->address, &error, *packet->resolvedAddresses);
            if (packet->addressFamily == 0) {
                failCurrentSend(error);
                return;
            }
        }
    }
    // A destination of a family this socket has no descriptor for (closed by
    // a bind, connect or join, or not an address at all) fails this datagram only.
    if ((packet->addressFamily != AF_INET && packet->addressFamily != AF_INET6) ||
        family(packet->addressFamily).fd == -1) {
        failCurrentSend(badParamError(packet->addressFamily == AF_INET || packet->addressFamily == AF_INET6
                                          ? "The socket cannot send to an address of this IP version."
                                          : "The destination is not a valid IPv4 or IPv6 address."));
        return;
    }

    if (sendFilterBlock_ && sendFilterQueue_) {
        const SendFilter filter = sendFilterBlock_;
        if (sendFilterAsync_) {
            packet->filterInProgress = true;
            std::weak_ptr<GCDAsyncUdpSocket> weakSelf = weak_from_this();
            sendFilterQueue_->async([weakSelf, filter, packet, queue = socketQueue_] {
                const bool allowed = filter(*packet->buffer, *packet->address, packet->tag);
                queue->async([weakSelf, packet, allowed] {
                    auto self = weakSelf.lock();
                    if (!self)
                        return;
                    packet->filterInProgress = false;
                    if (self->currentSendPacket() != packet)
                        return;  // ended by a close meanwhile
                    if (allowed) {
                        self->doSend();
                    } else {
                        self->notifyDidSendDataWithTag(packet->tag);
                        self->endCurrentSend();
                        self->maybeDequeueSend();
                    }
                });
            });
        } else {
            bool allowed = true;
            sendFilterQueue_->sync([&] { allowed = filter(*packet->buffer, *packet->address, packet->tag); });
            if (allowed) {
                doSend();
            } else {
                notifyDidSendDataWithTag(packet->tag);
                endCurrentSend();
                maybeDequeueSend();
            }
        }
        return;
    }
    doSend();
}

void GCDAsyncUdpSocket::doSend()
{
    auto packet = currentSendPacket();
    if (!packet)
        return;
    const int af = packet->addressFamily == AF_INET ? AF_INET : AF_INET6;
    const int fd = family(af).fd;
    ssize_t result;
    // MSG_NOSIGNAL: a library must not raise SIGPIPE in its host process.
    if (flags_ & kDidConnect) {
        result = ::send(fd, packet->buffer->data(), packet->buffer->size(), MSG_NOSIGNAL);
    } else {
        result = ::sendto(fd, packet->buffer->data(), packet->buffer->size(), MSG_NOSIGNAL,
                          reinterpret_cast<const sockaddr*>(packet->address->data()),
                          static_cast<socklen_t>(packet->address->size()));
    }
    const int savedErrno = errno;
    flags_ |= kDidBind;

    if (result > 0) {
        notifyDidSendDataWithTag(packet->tag);
        endCurrentSend();
        maybeDequeueSend();
        return;
    }
    if (result < 0 && savedErrno != EAGAIN && savedErrno != EWOULDBLOCK) {
        // Too long, refused by the peer, unreachable: this datagram fails,
        // the socket and the datagrams behind it go on.
        failCurrentSend(errnoErrorWithReason("Error in send() function.", savedErrno));
        return;
    }
    // The socket is full: wait until it can take the datagram.
    flags_ &= ~bitsOf(af).canAcceptBytes;
    if (!(flags_ & kSock4CanAcceptBytes))
        resumeSendSource(AF_INET);
    if (!(flags_ & kSock6CanAcceptBytes))
        resumeSendSource(AF_INET6);
    if (!sendTimer_ && packet->timeout >= 0.0)
        setupSendTimerWithTimeout(packet->timeout);
}

void GCDAsyncUdpSocket::setupSendTimerWithTimeout(double timeout)
{
    sendTimer_ = dispatch::Source::makeTimer(socketQueue_);
    std::weak_ptr<GCDAsyncUdpSocket> weakSelf = weak_from_this();
    sendTimer_->setEventHandler([weakSelf] {
        if (auto self = weakSelf.lock())
            self->doSendTimeout();
    });
    sendTimer_->setTimer(std::chrono::nanoseconds(static_cast<int64_t>(timeout * 1000000000.0)));
    sendTimer_->resume();
}

void GCDAsyncUdpSocket::doSendTimeout()
{
    failCurrentSend(sendTimeoutError());
}

void GCDAsyncUdpSocket::endCurrentSend()
{
    if (sendTimer_) {
        sendTimer_->cancel();
        sendTimer_.reset();
    }
    currentSend_.reset();
}

}  // namespace orv
