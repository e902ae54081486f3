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
    : Binding(std::move(delegate), std::move(delegateQueue),
              socketQueue ? std::move(socketQueue) : dispatch::Queue::makeSerial(GCDAsyncSocketQueueName)),
      preBuffer_(4 * 1024)
{
}

GCDAsyncSocket::~GCDAsyncSocket()
{
    closeFromDestructor([this] {
        flags_ |= kDealloc;
        closeWithError(std::nullopt);
    });
}

// ---------------------------------------------------------------------------
// Delegate and raw values

void GCDAsyncSocket::notifyDelegate(std::function<void(GCDAsyncSocketDelegate&, GCDAsyncSocket&)> callback)
{
    auto delegate = delegate_.lock();
    if (!delegate || !delegateQueue_)
        return;
    delegateQueue_->async([delegate, self = shared_from_this(), callback = std::move(callback)] {
        callback(*delegate, *self);
    });
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
