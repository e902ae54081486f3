// GCDAsyncUdpSocket: construction, queue discipline, delegate, configuration
// and the delegate messages. The other concerns live in
// GCDAsyncUdpSocket<Concern>.cpp.
#include "core/sockets/GCDAsyncUdpSocket.h"

#include <exception>
#include <sys/socket.h>

namespace orv {

static_assert(AF_INET == 2 && AF_INET6 == 10, "the family constants follow the system's");

std::shared_ptr<GCDAsyncUdpSocket> GCDAsyncUdpSocket::create(std::weak_ptr<GCDAsyncUdpSocketDelegate> delegate,
                                                             dispatch::QueueRef delegateQueue,
                                                             dispatch::QueueRef socketQueue)
{
    return std::make_shared<GCDAsyncUdpSocket>(PrivateTag{}, std::move(delegate), std::move(delegateQueue),
                                               std::move(socketQueue));
}

GCDAsyncUdpSocket::GCDAsyncUdpSocket(PrivateTag, std::weak_ptr<GCDAsyncUdpSocketDelegate> delegate,
                                     dispatch::QueueRef delegateQueue, dispatch::QueueRef socketQueue)
    : Binding(std::move(delegate), std::move(delegateQueue),
              socketQueue ? std::move(socketQueue) : dispatch::Queue::makeSerial(GCDAsyncUdpSocketQueueName))
{
}

GCDAsyncUdpSocket::~GCDAsyncUdpSocket()
{
    closeFromDestructor([this] {
        dealloc_ = true;
        closeWithError(std::nullopt);
    });
}

// ---------------------------------------------------------------------------
// Raw descriptors

int GCDAsyncUdpSocket::socketFD() const
{
    if (!isOnSocketQueue())
        return -1;
    return f4_.fd != -1 ? f4_.fd : f6_.fd;
}

int GCDAsyncUdpSocket::socket4FD() const
{
    return isOnSocketQueue() ? f4_.fd : -1;
}

int GCDAsyncUdpSocket::socket6FD() const
{
    return isOnSocketQueue() ? f6_.fd : -1;
}

// ---------------------------------------------------------------------------
// Checks before an operation

bool GCDAsyncUdpSocket::preOp(Error* errPtr) const
{
    if (delegate_.expired()) {
        if (errPtr)
            *errPtr = badConfigError("Attempting to use socket without a delegate. Set a delegate first.");
        return false;
    }
    if (!delegateQueue_) {
        if (errPtr)
            *errPtr = badConfigError("Attempting to use socket without a delegate queue. Set a delegate queue first.");
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Configuration

bool GCDAsyncUdpSocket::isIPv4Enabled() const
{
    return syncGet<bool>([this] { return (config_ & kIPv4Disabled) == 0; });
}

void GCDAsyncUdpSocket::setIPv4Enabled(bool flag)
{
    inlineOrAsyncOnSocketQueue([this, flag] {
        if (flag)
            config_ &= ~kIPv4Disabled;
        else
            config_ |= kIPv4Disabled;
    });
}

bool GCDAsyncUdpSocket::isIPv6Enabled() const
{
    return syncGet<bool>([this] { return (config_ & kIPv6Disabled) == 0; });
}

void GCDAsyncUdpSocket::setIPv6Enabled(bool flag)
{
    inlineOrAsyncOnSocketQueue([this, flag] {
        if (flag)
            config_ &= ~kIPv6Disabled;
        else
            config_ |= kIPv6Disabled;
    });
}

bool GCDAsyncUdpSocket::isIPv4Preferred() const
{
    return syncGet<bool>([this] { return (config_ & kPreferIPv4) != 0; });
}

bool GCDAsyncUdpSocket::isIPv6Preferred() const
{
    return syncGet<bool>([this] { return (config_ & kPreferIPv6) != 0; });
}

bool GCDAsyncUdpSocket::isIPVersionNeutral() const
{
    return syncGet<bool>([this] { return (config_ & (kPreferIPv4 | kPreferIPv6)) == 0; });
}

void GCDAsyncUdpSocket::setPreferIPv4()
{
    inlineOrAsyncOnSocketQueue([this] { config_ = (config_ | kPreferIPv4) & ~kPreferIPv6; });
}

void GCDAsyncUdpSocket::setPreferIPv6()
{
    inlineOrAsyncOnSocketQueue([this] { config_ = (config_ | kPreferIPv6) & ~kPreferIPv4; });
}

void GCDAsyncUdpSocket::setIPVersionNeutral()
{
    inlineOrAsyncOnSocketQueue([this] { config_ &= ~(kPreferIPv4 | kPreferIPv6); });
}

uint16_t GCDAsyncUdpSocket::maxReceiveIPv4BufferSize() const
{
    return syncGet<uint16_t>([this] { return max4ReceiveSize_; });
}

void GCDAsyncUdpSocket::setMaxReceiveIPv4BufferSize(uint16_t max)
{
    inlineOrAsyncOnSocketQueue([this, max] { max4ReceiveSize_ = max; });
}

uint32_t GCDAsyncUdpSocket::maxReceiveIPv6BufferSize() const
{
    return syncGet<uint32_t>([this] { return max6ReceiveSize_; });
}

void GCDAsyncUdpSocket::setMaxReceiveIPv6BufferSize(uint32_t max)
{
    inlineOrAsyncOnSocketQueue([this, max] { max6ReceiveSize_ = max; });
}

std::shared_ptr<void> GCDAsyncUdpSocket::userData() const
{
    return syncGet<std::shared_ptr<void>>([this] { return userData_; });
}

void GCDAsyncUdpSocket::setUserData(std::shared_ptr<void> arbitraryUserData)
{
    inlineOrAsyncOnSocketQueue([this, data = std::move(arbitraryUserData)] {
        if (userData_ != data)
            userData_ = data;
    });
}

// ---------------------------------------------------------------------------
// Delegate messages

void GCDAsyncUdpSocket::notifyDelegate(std::function<void(GCDAsyncUdpSocketDelegate&, GCDAsyncUdpSocket&)> callback)
{
    auto delegate = delegate_.lock();
    if (!delegate || !delegateQueue_)
        return;
    delegateQueue_->async([delegate, self = shared_from_this(), callback = std::move(callback)] {
        callback(*delegate, *self);
    });
}

void GCDAsyncUdpSocket::notifyDidConnectToAddress(const Bytes& address)
{
    notifyDelegate([address](GCDAsyncUdpSocketDelegate& d, GCDAsyncUdpSocket& s) {
        d.udpSocketDidConnectToAddress(s, address);
    });
}

void GCDAsyncUdpSocket::notifyDidNotConnect(const Error& error)
{
    notifyDelegate([error](GCDAsyncUdpSocketDelegate& d, GCDAsyncUdpSocket& s) { d.udpSocketDidNotConnect(s, error); });
}

void GCDAsyncUdpSocket::notifyDidSendDataWithTag(int64_t tag)
{
    notifyDelegate([tag](GCDAsyncUdpSocketDelegate& d, GCDAsyncUdpSocket& s) { d.udpSocketDidSendDataWithTag(s, tag); });
}

void GCDAsyncUdpSocket::notifyDidNotSendDataWithTag(int64_t tag, const Error& error)
{
    notifyDelegate([tag, error](GCDAsyncUdpSocketDelegate& d, GCDAsyncUdpSocket& s) {
        d.udpSocketDidNotSendDataWithTag(s, tag, error);
    });
}

void GCDAsyncUdpSocket::notifyDidReceiveData(std::shared_ptr<const Bytes> data, Bytes address,
                                             std::shared_ptr<void> context)
{
    notifyDelegate([data = std::move(data), address = std::move(address),
                    context = std::move(context)](GCDAsyncUdpSocketDelegate& d, GCDAsyncUdpSocket& s) {
        d.udpSocketDidReceiveData(s, *data, address, context);
    });
}

void GCDAsyncUdpSocket::notifyDidNotReceiveData(const Error& error)
{
    notifyDelegate([error](GCDAsyncUdpSocketDelegate& d, GCDAsyncUdpSocket& s) { d.udpSocketDidNotReceiveData(s, error); });
}

void GCDAsyncUdpSocket::notifyDidCloseWithError(const std::optional<Error>& error)
{
    if (!dealloc_) {
        notifyDelegate([error](GCDAsyncUdpSocketDelegate& d, GCDAsyncUdpSocket& s) { d.udpSocketDidClose(&s, error); });
        return;
    }
    // Being destroyed: the delegate hears of it without a pointer to a dying object.
    auto delegate = delegate_.lock();
    if (delegate && delegateQueue_)
        delegateQueue_->async([delegate, error] { delegate->udpSocketDidClose(nullptr, error); });
}

}  // namespace orv
