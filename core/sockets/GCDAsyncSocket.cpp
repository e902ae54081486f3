// GCDAsyncSocket: construction, queue discipline, delegate and configuration
// properties. The other concerns live in GCDAsyncSocket<Concern>.cpp.
#include "core/sockets/GCDAsyncSocket.h"

#include "core/sockets/TlsSession.h"

#include <exception>

namespace orv {

std::shared_ptr<GCDAsyncSocket> GCDAsyncSocket::create(std::weak_ptr<GCDAsyncSocketDelegate> delegate,
                                                       dispatch::QueueRef delegateQueue,
                                                       dispatch::QueueRef socketQueue)
{
    return std::make_shared<GCDAsyncSocket>(PrivateTag{}, std::move(delegate), std::move(delegateQueue),
                                            std::move(socketQueue));
}

GCDAsyncSocket::GCDAsyncSocket(PrivateTag, std::weak_ptr<GCDAsyncSocketDelegate> delegate,
                               dispatch::QueueRef delegateQueue, dispatch::QueueRef socketQueue)
    : delegate_(std::move(delegate)),
      delegateQueue_(std::move(delegateQueue)),
      socketQueue_(socketQueue ? std::move(socketQueue) : dispatch::Queue::makeSerial(GCDAsyncSocketQueueName)),
      preBuffer_(4 * 1024)
{
    IsOnSocketQueueOrTargetQueueKey_ = &IsOnSocketQueueOrTargetQueueKey_;
    socketQueue_->setSpecific(&IsOnSocketQueueOrTargetQueueKey_, this);
}

GCDAsyncSocket::~GCDAsyncSocket()
{
    // Queued work holds the socket weakly, so nothing else can touch it now;
    // the last reference may be dropped on the socket queue itself.
    auto body = [this] {
        flags_ |= kDealloc;
        closeWithError(std::nullopt);
    };
    if (isOnSocketQueue()) {
        body();
    } else {
        try {
            socketQueue_->sync(body);
        } catch (const Exception& e) {
            // This thread runs a queue that the socket queue targets, so the
            // socket queue cannot be running now: closing here is safe.
            if (e.name() != "DispatchDeadlock")
                std::terminate();
            body();
        }
    }
    socketQueue_->setSpecific(&IsOnSocketQueueOrTargetQueueKey_, nullptr);
}

// ---------------------------------------------------------------------------
// Queue discipline

bool GCDAsyncSocket::isOnSocketQueue() const
{
    return dispatch::Queue::getSpecific(&IsOnSocketQueueOrTargetQueueKey_) == this;
}

void GCDAsyncSocket::syncOnSocketQueue(const std::function<void()>& block) const
{
    if (isOnSocketQueue())
        block();
    else
        socketQueue_->sync(block);
}

void GCDAsyncSocket::inlineOrAsyncOnSocketQueue(std::function<void()> block)
{
    if (isOnSocketQueue()) {
        block();
    } else {
        // Held strongly, so that a setter followed by the owner letting go
        // still takes effect in order.
        socketQueue_->async([self = shared_from_this(), block = std::move(block)] { block(); });
    }
}

void GCDAsyncSocket::notifyDelegate(std::function<void(GCDAsyncSocketDelegate&, GCDAsyncSocket&)> callback)
{
    auto delegate = delegate_.lock();
    if (!delegate || !delegateQueue_)
        return;
    delegateQueue_->async([delegate, self = shared_from_this(), callback = std::move(callback)] {
        callback(*delegate, *self);
    });
}

void GCDAsyncSocket::markSocketQueueTargetQueue(const dispatch::QueueRef& socketNewTargetQueue)
{
    if (socketNewTargetQueue)
        socketNewTargetQueue->setSpecific(&IsOnSocketQueueOrTargetQueueKey_, this);
}

void GCDAsyncSocket::unmarkSocketQueueTargetQueue(const dispatch::QueueRef& socketOldTargetQueue)
{
    if (socketOldTargetQueue)
        socketOldTargetQueue->setSpecific(&IsOnSocketQueueOrTargetQueueKey_, nullptr);
}

void GCDAsyncSocket::performBlock(const std::function<void()>& block)
{
    syncOnSocketQueue(block);
}

int GCDAsyncSocket::socketFD() const
{
    return isOnSocketQueue() ? openSocketFD() : -1;
}

int GCDAsyncSocket::socket4FD() const
{
    return isOnSocketQueue() ? socket4FD_ : -1;
}

int GCDAsyncSocket::socket6FD() const
{
    return isOnSocketQueue() ? socket6FD_ : -1;
}

void* GCDAsyncSocket::sslContext() const
{
    return isOnSocketQueue() && sslContext_ ? sslContext_->nativeHandle() : nullptr;
}

// ---------------------------------------------------------------------------
// Delegate

std::shared_ptr<GCDAsyncSocketDelegate> GCDAsyncSocket::delegate() const
{
    std::shared_ptr<GCDAsyncSocketDelegate> result;
    syncOnSocketQueue([&] { result = delegate_.lock(); });
    return result;
}

void GCDAsyncSocket::setDelegate(std::weak_ptr<GCDAsyncSocketDelegate> newDelegate)
{
    inlineOrAsyncOnSocketQueue([this, newDelegate = std::move(newDelegate)] { delegate_ = newDelegate; });
}

void GCDAsyncSocket::synchronouslySetDelegate(std::weak_ptr<GCDAsyncSocketDelegate> newDelegate)
{
    syncOnSocketQueue([&] { delegate_ = std::move(newDelegate); });
}

dispatch::QueueRef GCDAsyncSocket::delegateQueue() const
{
    dispatch::QueueRef result;
    syncOnSocketQueue([&] { result = delegateQueue_; });
    return result;
}

void GCDAsyncSocket::setDelegateQueue(dispatch::QueueRef newDelegateQueue)
{
    inlineOrAsyncOnSocketQueue([this, q = std::move(newDelegateQueue)] { delegateQueue_ = q; });
}

void GCDAsyncSocket::synchronouslySetDelegateQueue(dispatch::QueueRef newDelegateQueue)
{
    syncOnSocketQueue([&] { delegateQueue_ = std::move(newDelegateQueue); });
}

void GCDAsyncSocket::getDelegate(std::shared_ptr<GCDAsyncSocketDelegate>* delegatePtr,
                                 dispatch::QueueRef* delegateQueuePtr) const
{
    syncOnSocketQueue([&] {
        if (delegatePtr)
            *delegatePtr = delegate_.lock();
        if (delegateQueuePtr)
            *delegateQueuePtr = delegateQueue_;
    });
}

void GCDAsyncSocket::setDelegate(std::weak_ptr<GCDAsyncSocketDelegate> newDelegate, dispatch::QueueRef newDelegateQueue)
{
    inlineOrAsyncOnSocketQueue([this, d = std::move(newDelegate), q = std::move(newDelegateQueue)] {
        delegate_ = d;
        delegateQueue_ = q;
    });
}

void GCDAsyncSocket::synchronouslySetDelegate(std::weak_ptr<GCDAsyncSocketDelegate> newDelegate,
                                              dispatch::QueueRef newDelegateQueue)
{
    syncOnSocketQueue([&] {
        delegate_ = std::move(newDelegate);
        delegateQueue_ = std::move(newDelegateQueue);
    });
}

// ---------------------------------------------------------------------------
// Configuration

bool GCDAsyncSocket::isIPv4Enabled() const
{
    bool result = false;
    syncOnSocketQueue([&] { result = (config_ & kIPv4Disabled) == 0; });
    return result;
}

void GCDAsyncSocket::setIPv4Enabled(bool flag)
{
    inlineOrAsyncOnSocketQueue([this, flag] {
        if (flag)
            config_ &= ~kIPv4Disabled;
        else
            config_ |= kIPv4Disabled;
    });
}

bool GCDAsyncSocket::isIPv6Enabled() const
{
    bool result = false;
    syncOnSocketQueue([&] { result = (config_ & kIPv6Disabled) == 0; });
    return result;
}

void GCDAsyncSocket::setIPv6Enabled(bool flag)
{
    inlineOrAsyncOnSocketQueue([this, flag] {
        if (flag)
            config_ &= ~kIPv6Disabled;
        else
            config_ |= kIPv6Disabled;
    });
}

bool GCDAsyncSocket::isIPv4PreferredOverIPv6() const
{
    bool result = false;
    syncOnSocketQueue([&] { result = (config_ & kPreferIPv6) == 0; });
    return result;
}

void GCDAsyncSocket::setIPv4PreferredOverIPv6(bool flag)
{
    inlineOrAsyncOnSocketQueue([this, flag] {
        if (flag)
            config_ &= ~kPreferIPv6;
        else
            config_ |= kPreferIPv6;
    });
}

bool GCDAsyncSocket::autoDisconnectOnClosedReadStream() const
{
    bool result = false;
    syncOnSocketQueue([&] { result = (config_ & kAllowHalfDuplexConnection) == 0; });
    return result;
}

void GCDAsyncSocket::setAutoDisconnectOnClosedReadStream(bool flag)
{
    inlineOrAsyncOnSocketQueue([this, flag] {
        if (flag)
            config_ &= ~kAllowHalfDuplexConnection;
        else
            config_ |= kAllowHalfDuplexConnection;
    });
}

std::shared_ptr<void> GCDAsyncSocket::userData() const
{
    std::shared_ptr<void> result;
    syncOnSocketQueue([&] { result = userData_; });
    return result;
}

void GCDAsyncSocket::setUserData(std::shared_ptr<void> arbitraryUserData)
{
    inlineOrAsyncOnSocketQueue([this, data = std::move(arbitraryUserData)] {
        if (userData_ != data)
            userData_ = data;
    });
}

// ---------------------------------------------------------------------------
// State

bool GCDAsyncSocket::isDisconnected() const
{
    bool result = false;
    syncOnSocketQueue([&] { result = (flags_ & kSocketStarted) == 0; });
    return result;
}

bool GCDAsyncSocket::isConnected() const
{
    bool result = false;
    syncOnSocketQueue([&] { result = (flags_ & kConnected) != 0; });
    return result;
}

bool GCDAsyncSocket::isSecure() const
{
    bool result = false;
    syncOnSocketQueue([&] { result = (flags_ & kSocketSecure) != 0; });
    return result;
}

}  // namespace orv
