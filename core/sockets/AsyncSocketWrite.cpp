// AsyncSocket: the write requests, their queue and the pass over the write
// stream; and TLS, whose marker waits in both queues until both sides reach
// it, then hands its settings to the streams.
#include "core/sockets/AsyncSocket.h"

#include "platform/RunLoopTimer.h"

#include <algorithm>
#include <limits>

namespace orv {

namespace {

// The most one stream write takes, so that progress is reported in steps.
constexpr size_t kWriteChunk = 4096;

}  // namespace

void AsyncSocket::writeData(const Bytes& data, double timeout, long tag)
{
    if (data.empty())
        return;
    writeData(std::make_shared<const Bytes>(data), timeout, tag);
}

void AsyncSocket::writeData(std::shared_ptr<const Bytes> data, double timeout, long tag)
{
    if (!data || data->empty() || (flags_ & kRequestsRefused))
        return;
    auto packet = std::make_shared<AsyncWritePacket>();
    packet->buffer = std::move(data);
    packet->tag = tag;
    packet->timeout = timeout;
    writeQueue_.emplace_back(std::move(packet));
    scheduleDequeueWrite();
}

float AsyncSocket::progressOfWriteReturningTag(long* tag, size_t* done, size_t* total) const
{
    const auto* write = currentWrite_ ? std::get_if<std::shared_ptr<AsyncWritePacket>>(&*currentWrite_) : nullptr;
    if (!write) {
        if (tag)
            *tag = 0;
        if (done)
            *done = 0;
        if (total)
            *total = 0;
        return std::numeric_limits<float>::quiet_NaN();
    }
    const AsyncWritePacket& packet = **write;
    if (tag)
        *tag = packet.tag;
    if (done)
        *done = packet.bytesDone;
    if (total)
        *total = packet.buffer->size();
    return static_cast<float>(packet.bytesDone) / static_cast<float>(packet.buffer->size());
}

void AsyncSocket::scheduleDequeueWrite()
{
    if (flags_ & kWriteDequeuePosted)
        return;
    flags_ |= kWriteDequeuePosted;
    post("maybeDequeueWrite", &AsyncSocket::maybeDequeueWrite, runLoopModes_);
}

void AsyncSocket::maybeDequeueWrite()
{
    flags_ &= ~kWriteDequeuePosted;
    if (currentWrite_ || !streams_)
        return;
    if (!writeQueue_.empty()) {
        currentWrite_ = std::move(writeQueue_.front());
        writeQueue_.pop_front();
        if (std::holds_alternative<std::shared_ptr<AsyncSpecialPacket>>(*currentWrite_)) {
            flags_ |= kWriteTLSReached;
            maybeStartTLS();
            return;
        }
        const auto& packet = std::get<std::shared_ptr<AsyncWritePacket>>(*currentWrite_);
        if (packet->timeout >= 0.0)
            writeTimer_ = makeTimer(packet->timeout, &AsyncSocket::doWriteTimeout);
        doSendBytes();
    } else if (flags_ & kCloseAfterWrites) {
        if ((flags_ & kCloseAfterReads) && (!readQueue_.empty() || currentRead_))
            return;
        disconnect();
    }
}

bool AsyncSocket::canAcceptBytes() const
{
    return (flags_ & kWriteSpaceSignalled) || (streams_ && streams_->canAcceptBytes());
}

void AsyncSocket::doSendBytes()
{
    if (!currentWrite_ || !streams_)
        return;
    auto* current = std::get_if<std::shared_ptr<AsyncWritePacket>>(&*currentWrite_);
    if (!current)
        return;
    std::shared_ptr<AsyncWritePacket> packet = *current;
    const Bytes& data = *packet->buffer;
    size_t totalBytesWritten = 0;
    bool done = false;
    while (canAcceptBytes()) {
        const size_t chunk = std::min(data.size() - packet->bytesDone, kWriteChunk);
        const long result = streams_->write(data.data() + packet->bytesDone, chunk);
        flags_ &= ~kWriteSpaceSignalled;
        if (result < 0) {
            closeWithError(getStreamError());
            return;
        }
        packet->bytesDone += static_cast<size_t>(result);
        totalBytesWritten += static_cast<size_t>(result);
        if (packet->bytesDone == data.size()) {
            done = true;
            break;
        }
    }
    if (done) {
        completeCurrentWrite();
        scheduleDequeueWrite();
    } else if (totalBytesWritten > 0) {
        if (auto delegate = delegate_.lock())
            delegate->onSocketDidWritePartialDataOfLength(*this, totalBytesWritten, packet->tag);
    }
}

void AsyncSocket::completeCurrentWrite()
{
    const long tag = std::get<std::shared_ptr<AsyncWritePacket>>(*currentWrite_)->tag;
    if (auto delegate = delegate_.lock())
        delegate->onSocketDidWriteDataWithTag(*this, tag);
    if (currentWrite_)
        endCurrentWrite();
}

void AsyncSocket::endCurrentWrite()
{
    if (writeTimer_) {
        writeTimer_->invalidate();
        writeTimer_.reset();
    }
    currentWrite_.reset();
}

void AsyncSocket::doWriteTimeout()
{
    auto* current = currentWrite_ ? std::get_if<std::shared_ptr<AsyncWritePacket>>(&*currentWrite_) : nullptr;
    if (!current)
        return;
    std::shared_ptr<AsyncWritePacket> packet = *current;
    if (auto delegate = delegate_.lock()) {
        const std::optional<double> extension =
            delegate->onSocketShouldTimeoutWriteWithTag(*this, packet->tag, packet->timeout, packet->bytesDone);
        if (extension && *extension > 0.0 && currentWrite_) {
            packet->timeout += *extension;
            writeTimer_ = makeTimer(*extension, &AsyncSocket::doWriteTimeout);
            return;
        }
    }
    closeWithError(getWriteTimeoutError());
}

// ---------------------------------------------------------------------------
// TLS

void AsyncSocket::startTLS(const TlsSettings& tlsSettings)
{
    auto marker = std::make_shared<AsyncSpecialPacket>(AsyncSpecialPacket{tlsSettings});
    readQueue_.emplace_back(marker);
    scheduleDequeueRead();
    writeQueue_.emplace_back(marker);
    scheduleDequeueWrite();
}

void AsyncSocket::maybeStartTLS()
{
    if (!(flags_ & kReadTLSReached) || !(flags_ & kWriteTLSReached))
        return;
    const auto& marker = std::get<std::shared_ptr<AsyncSpecialPacket>>(*currentRead_);
    if (!streams_->setTLSSettings(marker->tlsSettings))
        closeWithError(getSocketError());
}

void AsyncSocket::onTLSHandshakeSuccessful()
{
    if (!(flags_ & kReadTLSReached) || !(flags_ & kWriteTLSReached))
        return;
    // The stream reports its first event only once the handshake is over.
    if (!streams_->isSecure())
        return;
    flags_ &= ~(kReadTLSReached | kWriteTLSReached);
    if (auto delegate = delegate_.lock())
        delegate->onSocketDidSecure(*this);
    endCurrentRead();
    endCurrentWrite();
    scheduleDequeueRead();
    scheduleDequeueWrite();
}

}  // namespace orv
