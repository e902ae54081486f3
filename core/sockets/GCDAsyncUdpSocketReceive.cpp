// GCDAsyncUdpSocket: receiving one datagram or continuously, the receive
// filter, and closing.
#include "core/sockets/GCDAsyncUdpSocket.h"

#include <cerrno>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>

namespace orv {

bool GCDAsyncUdpSocket::receiveOnce(Error* errPtr)
{
    return syncWithError(errPtr, [this](Error* err) {
        if (flags_ & kReceiveOnce)
            return true;
        if (!(flags_ & kDidCreateSockets)) {
            *err = badConfigError("Must bind socket before you can receive data. You can do this explicitly via "
                                  "bind, or implicitly via connect or by sending data.");
            return false;
        }
        flags_ = (flags_ | kReceiveOnce) & ~kReceiveContinuous;
        socketQueue_->async([weakSelf = weak_from_this()] {
            if (auto self = weakSelf.lock())
                self->doReceive();
        });
        return true;
    });
}

bool GCDAsyncUdpSocket::beginReceiving(Error* errPtr)
{
    return syncWithError(errPtr, [this](Error* err) {
        if (flags_ & kReceiveContinuous)
            return true;
        if (!(flags_ & kDidCreateSockets)) {
            *err = badConfigError("Must bind socket before you can receive data. You can do this explicitly via "
                                  "bind, or implicitly via connect or by sending data.");
            return false;
        }
        flags_ = (flags_ | kReceiveContinuous) & ~kReceiveOnce;
        socketQueue_->async([weakSelf = weak_from_this()] {
            if (auto self = weakSelf.lock())
                self->doReceive();
        });
        return true;
    });
}

void GCDAsyncUdpSocket::pauseReceiving()
{
    inlineOrAsyncOnSocketQueue([this] {
        flags_ &= ~(kReceiveOnce | kReceiveContinuous);
        if (f4_.bytesAvailable > 0)
            suspendReceiveSource(AF_INET);
        if (f6_.bytesAvailable > 0)
            suspendReceiveSource(AF_INET6);
    });
}

void GCDAsyncUdpSocket::setReceiveFilter(ReceiveFilter filter, dispatch::QueueRef filterQueue, bool isAsynchronous)
{
    if (!filter)
        filterQueue = nullptr;
    inlineOrAsyncOnSocketQueue([this, filter = std::move(filter), filterQueue = std::move(filterQueue), isAsynchronous] {
        receiveFilterBlock_ = filter;
        receiveFilterQueue_ = filterQueue;
        receiveFilterAsync_ = isAsynchronous;
    });
}

void GCDAsyncUdpSocket::receiveSourceFired(int af, uint64_t estimate)
{
    // The estimate is the size of the next datagram, so 0 may be an empty
    // datagram as well as nothing: UDP has no end of stream, so try reading.
    family(af).bytesAvailable = estimate > 0 ? estimate : 1;
    doReceive();
}

void GCDAsyncUdpSocket::doReceive()
{
    // A burst is read in batches, so that other work of the socket queue
    // (sends, a close) gets its turn in between.
    constexpr int kBatch = 128;
    for (int i = 0; i < kBatch; ++i) {
        if (!receiveNext())
            return;
    }
    socketQueue_->async([weakSelf = weak_from_this()] {
        if (auto self = weakSelf.lock())
            self->doReceive();
    });
}

bool GCDAsyncUdpSocket::receiveNext()
{
    if (!(flags_ & (kReceiveOnce | kReceiveContinuous)) || ((flags_ & kReceiveOnce) && pendingFilterOperations_ > 0)) {
        if (f4_.bytesAvailable > 0)
            suspendReceiveSource(AF_INET);
        if (f6_.bytesAvailable > 0)
            suspendReceiveSource(AF_INET6);
        return false;
    }
    if (f4_.bytesAvailable == 0 && f6_.bytesAvailable == 0) {
        resumeReceiveSource(AF_INET);
        resumeReceiveSource(AF_INET6);
        return false;
    }

    int af;
    if (flags_ & kDidConnect) {
        af = f4_.fd != -1 ? AF_INET : AF_INET6;
    } else if (f4_.bytesAvailable > 0 && f6_.bytesAvailable > 0) {
        const bool wasSet = flags_ & kFlipFlop;
        flags_ ^= kFlipFlop;
        af = wasSet ? AF_INET : AF_INET6;
    } else {
        af = f4_.bytesAvailable > 0 ? AF_INET : AF_INET6;
    }
    Family& f = family(af);
    if (f.fd == -1) {
        f.bytesAvailable = 0;
        return true;
    }

    const size_t bufferSize = af == AF_INET ? max4ReceiveSize_ : max6ReceiveSize_;
    auto buffer = std::make_shared<Bytes>(bufferSize);
    sockaddr_storage sender{};
    socklen_t senderLength = af == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    // MSG_TRUNC: the result is the datagram's real length even when it did
    // not fit, so a cut datagram is never taken for a whole one.
    const ssize_t result = ::recvfrom(f.fd, buffer->data(), buffer->size(), MSG_TRUNC,
                                      reinterpret_cast<sockaddr*>(&sender), &senderLength);
    const int savedErrno = errno;

    if (result < 0) {
        f.bytesAvailable = 0;
        if (savedErrno == EAGAIN || savedErrno == EWOULDBLOCK || savedErrno == EINTR) {
            if (f4_.bytesAvailable == 0)
                resumeReceiveSource(AF_INET);
            if (f6_.bytesAvailable == 0)
                resumeReceiveSource(AF_INET6);
            return f4_.bytesAvailable > 0 || f6_.bytesAvailable > 0;
        }
        // A refused earlier datagram (an ICMP answer on a connected socket)
        // or the like: report it and go on with the next datagram.
        notifyDidNotReceiveData(errnoErrorWithReason("Error in recvfrom() function", savedErrno));
        return true;
    }
    // The estimate only ever covers the next datagram; keep reading until
    // the socket says it is empty.
    f.bytesAvailable = 1;

    const Bytes address(reinterpret_cast<const uint8_t*>(&sender),
                        reinterpret_cast<const uint8_t*>(&sender) + std::min<size_t>(senderLength, sizeof sender));
    bool ignored = false;
    if (flags_ & kDidConnect)
        ignored = af == AF_INET ? !isConnectedToAddress4(address) : !isConnectedToAddress6(address);

    bool delivered = false;
    if (ignored || result == 0) {
        // A stranger's datagram, or an empty one: nothing to deliver.
        ignored = true;
    } else if (static_cast<size_t>(result) > bufferSize) {
        notifyDidNotReceiveData(otherError("A datagram of " + std::to_string(result) +
                                           " bytes was longer than the receive buffer of " +
                                           std::to_string(bufferSize) + " bytes and was dropped."));
        ignored = true;
    } else {
        buffer->resize(static_cast<size_t>(result));
        std::shared_ptr<const Bytes> data = std::move(buffer);
        if (receiveFilterBlock_ && receiveFilterQueue_) {
            const ReceiveFilter filter = receiveFilterBlock_;
            if (receiveFilterAsync_) {
                ++pendingFilterOperations_;
                std::weak_ptr<GCDAsyncUdpSocket> weakSelf = weak_from_this();
                receiveFilterQueue_->async([weakSelf, filter, data, address, generation = receiveGeneration_,
                                            queue = socketQueue_] {
                    auto context = std::make_shared<std::shared_ptr<void>>();
                    const bool allowed = filter(*data, address, context.get());
                    queue->async([weakSelf, data, address, generation, allowed, context] {
                        auto self = weakSelf.lock();
                        // An answer from before a close belongs to a finished life.
                        if (!self || generation != self->receiveGeneration_)
                            return;
                        --self->pendingFilterOperations_;
                        if (allowed)
                            self->notifyDidReceiveData(data, address, *context);
                        if (self->flags_ & kReceiveOnce) {
                            if (allowed)
                                self->flags_ &= ~kReceiveOnce;
                            else if (self->pendingFilterOperations_ == 0)
                                self->doReceive();
                        }
                    });
                });
            } else {
                std::shared_ptr<void> context;
                bool allowed = true;
                receiveFilterQueue_->sync([&] { allowed = filter(*data, address, &context); });
                if (allowed) {
                    notifyDidReceiveData(data, address, std::move(context));
                    delivered = true;
                } else {
                    ignored = true;
                }
            }
        } else {
            notifyDidReceiveData(data, address, nullptr);
            delivered = true;
        }
    }

    if (flags_ & kReceiveContinuous)
        return true;
    if (flags_ & kReceiveOnce) {
        if (delivered)
            flags_ &= ~kReceiveOnce;
        else if (ignored)
            return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Closing

void GCDAsyncUdpSocket::close()
{
    syncOnSocketQueue([this] { closeWithError(std::nullopt); });
}

void GCDAsyncUdpSocket::closeAfterSending()
{
    inlineOrAsyncOnSocketQueue([this] {
        flags_ |= kCloseAfterSends;
        if (!currentSend_ && sendQueue_.empty())
            closeWithError(std::nullopt);
    });
}

void GCDAsyncUdpSocket::applicationWillEnterForeground()
{
    inlineOrAsyncOnSocketQueue([this] {
        resumeReceiveSource(AF_INET);
        resumeReceiveSource(AF_INET6);
    });
}

void GCDAsyncUdpSocket::closeWithError(std::optional<Error> error)
{
    if (currentSend_)
        endCurrentSend();
    sendQueue_.clear();
    const bool hadSockets = flags_ & kDidCreateSockets;
    closeSockets();
    flags_ = 0;
    // A closed socket has no peer and no receive-filter answers to wait for.
    cachedConnectedAddress_.reset();
    cachedConnectedHost_.reset();
    cachedConnectedPort_ = 0;
    cachedConnectedFamily_ = 0;
    pendingFilterOperations_ = 0;
    ++receiveGeneration_;
    if (hadSockets)
        notifyDidCloseWithError(error);
}

}  // namespace orv
