// AsyncSocket: the read requests, their queue and the pass over the read
// stream that fills the current one, with the pre-buffer that terminator
// reads read ahead into.
#include "core/sockets/AsyncSocket.h"

#include "platform/RunLoopTimer.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace orv {

// ---------------------------------------------------------------------------
// Requests

void AsyncSocket::queueRead(std::shared_ptr<AsyncReadPacket> packet)
{
    if (flags_ & kRequestsRefused)
        return;
    readQueue_.emplace_back(std::move(packet));
    scheduleDequeueRead();
}

void AsyncSocket::readDataWithTimeout(double timeout, long tag)
{
    readDataWithTimeout(timeout, nullptr, 0, 0, tag);
}

void AsyncSocket::readDataWithTimeout(double timeout, std::shared_ptr<Bytes> buffer, size_t offset, long tag)
{
    readDataWithTimeout(timeout, std::move(buffer), offset, 0, tag);
}

void AsyncSocket::readDataWithTimeout(double timeout, std::shared_ptr<Bytes> buffer, size_t offset, size_t maxLength,
                                      long tag)
{
    if (offset > (buffer ? buffer->size() : 0))
        return;
    queueRead(std::make_shared<AsyncReadPacket>(std::move(buffer), offset, maxLength, timeout, 0, std::nullopt, tag));
}

void AsyncSocket::readDataToLength(size_t length, double timeout, long tag)
{
    readDataToLength(length, timeout, nullptr, 0, tag);
}

void AsyncSocket::readDataToLength(size_t length, double timeout, std::shared_ptr<Bytes> buffer, size_t offset,
                                   long tag)
{
    if (length == 0 || offset > (buffer ? buffer->size() : 0))
        return;
    queueRead(std::make_shared<AsyncReadPacket>(std::move(buffer), offset, 0, timeout, length, std::nullopt, tag));
}

void AsyncSocket::readDataToData(const Bytes& data, double timeout, long tag)
{
    readDataToData(data, timeout, nullptr, 0, 0, tag);
}

void AsyncSocket::readDataToData(const Bytes& data, double timeout, std::shared_ptr<Bytes> buffer, size_t offset,
                                 long tag)
{
    readDataToData(data, timeout, std::move(buffer), offset, 0, tag);
}

void AsyncSocket::readDataToData(const Bytes& data, double timeout, size_t maxLength, long tag)
{
    readDataToData(data, timeout, nullptr, 0, maxLength, tag);
}

void AsyncSocket::readDataToData(const Bytes& data, double timeout, std::shared_ptr<Bytes> buffer, size_t offset,
                                 size_t maxLength, long tag)
{
    if (data.empty() || offset > (buffer ? buffer->size() : 0) || (maxLength > 0 && maxLength < data.size()))
        return;
    queueRead(std::make_shared<AsyncReadPacket>(std::move(buffer), offset, maxLength, timeout, 0, data, tag));
}

float AsyncSocket::progressOfReadReturningTag(long* tag, size_t* done, size_t* total) const
{
    const auto* read = currentRead_ ? std::get_if<std::shared_ptr<AsyncReadPacket>>(&*currentRead_) : nullptr;
    if (!read) {
        if (tag)
            *tag = 0;
        if (done)
            *done = 0;
        if (total)
            *total = 0;
        return std::numeric_limits<float>::quiet_NaN();
    }
    const AsyncReadPacket& packet = **read;
    if (tag)
        *tag = packet.tag;
    if (done)
        *done = packet.bytesDone;
    if (total)
        *total = packet.readLength;
    return packet.readLength > 0 ? static_cast<float>(packet.bytesDone) / static_cast<float>(packet.readLength) : 1.0f;
}

// ---------------------------------------------------------------------------
// Queue

void AsyncSocket::scheduleDequeueRead()
{
    if (flags_ & kReadDequeuePosted)
        return;
    flags_ |= kReadDequeuePosted;
    post("maybeDequeueRead", &AsyncSocket::maybeDequeueRead, runLoopModes_);
}

void AsyncSocket::maybeDequeueRead()
{
    flags_ &= ~kReadDequeuePosted;
    if (currentRead_ || !streams_)
        return;
    if (!readQueue_.empty()) {
        currentRead_ = std::move(readQueue_.front());
        readQueue_.pop_front();
        if (std::holds_alternative<std::shared_ptr<AsyncSpecialPacket>>(*currentRead_)) {
            flags_ |= kReadTLSReached;
            maybeStartTLS();
            return;
        }
        const auto& packet = std::get<std::shared_ptr<AsyncReadPacket>>(*currentRead_);
        if (packet->timeout >= 0.0)
            readTimer_ = makeTimer(packet->timeout, &AsyncSocket::doReadTimeout);
        doBytesAvailable();
    } else if (flags_ & kCloseAfterReads) {
        if ((flags_ & kCloseAfterWrites) && (!writeQueue_.empty() || currentWrite_))
            return;
        disconnect();
    }
}

// ---------------------------------------------------------------------------
// The read pass

bool AsyncSocket::hasBytesAvailable() const
{
    return (flags_ & kReadDataSignalled) || !partialReadBuffer_.empty() || (streams_ && streams_->hasBytesAvailable());
}

long AsyncSocket::readIntoBuffer(uint8_t* buffer, size_t length)
{
    if (!partialReadBuffer_.empty()) {
        const size_t n = std::min(length, partialReadBuffer_.size());
        std::memcpy(buffer, partialReadBuffer_.data(), n);
        partialReadBuffer_.erase(partialReadBuffer_.begin(), partialReadBuffer_.begin() + static_cast<long>(n));
        return static_cast<long>(n);
    }
    flags_ &= ~kReadDataSignalled;
    return streams_->read(buffer, length);
}

void AsyncSocket::doBytesAvailable()
{
    if (!currentRead_ || !streams_)
        return;
    auto* current = std::get_if<std::shared_ptr<AsyncReadPacket>>(&*currentRead_);
    if (!current)
        return;
    // Held for the pass: the delegate may close the socket from a callback.
    std::shared_ptr<AsyncReadPacket> packet = *current;
    enum Mode { kNonTerm, kFromPreBuffer, kReadAhead, kExact };

    size_t totalBytesRead = 0;
    bool done = false;
    bool maxedOut = false;
    bool streamError = false;
    while (!done && !maxedOut && hasBytesAvailable()) {
        Mode mode;
        bool found = false;
        size_t chunk;
        if (!packet->term) {
            mode = kNonTerm;
            chunk = packet->readLengthForNonTerm();
        } else if (!partialReadBuffer_.empty()) {
            mode = kFromPreBuffer;
            chunk = packet->readLengthForTermWithPreBuffer(partialReadBuffer_, &found);
        } else if (flags_ & kPreBufferingOn) {
            mode = kReadAhead;
            chunk = packet->prebufferReadLengthForTerm();
        } else {
            mode = kExact;
            chunk = packet->readLengthForTerm();
        }

        const size_t needed = packet->startOffset + packet->bytesDone + chunk;
        if (packet->buffer->size() < needed)
            packet->buffer->resize(needed);

        const long result = readIntoBuffer(packet->writePosition(), chunk);
        if (result < 0) {
            streamError = true;
            break;
        }
        const size_t bytesRead = static_cast<size_t>(result);
        packet->bytesDone += bytesRead;
        totalBytesRead += bytesRead;

        if (packet->readLength > 0) {
            done = packet->bytesDone == packet->readLength;
        } else if (!packet->term) {
            done = packet->maxLength > 0 && packet->bytesDone >= packet->maxLength;
        } else if (mode == kReadAhead) {
            const ssize_t overflow = packet->searchForTermAfterPreBuffering(bytesRead);
            if (overflow > 0) {
                const uint8_t* end = packet->readBytes() + packet->bytesDone;
                partialReadBuffer_.insert(partialReadBuffer_.end(), end - overflow, end);
                packet->bytesDone -= static_cast<size_t>(overflow);
            }
            done = overflow >= 0;
        } else if (mode == kFromPreBuffer) {
            done = found;
        } else {
            const size_t t = packet->term->size();
            done = packet->bytesDone >= t &&
                   std::memcmp(packet->readBytes() + packet->bytesDone - t, packet->term->data(), t) == 0;
        }
        if (!done && packet->term && packet->maxLength > 0 && packet->bytesDone >= packet->maxLength)
            maxedOut = true;
        if (bytesRead == 0 && !streams_->hasBytesAvailable() && partialReadBuffer_.empty())
            break;
    }

    // Whatever was available is what such a read wanted.
    if (!packet->term && packet->readLength == 0 && packet->bytesDone > 0)
        done = true;

    if (done) {
        completeCurrentRead();
        if (streamError)
            closeWithError(getStreamError());
        else
            scheduleDequeueRead();
        return;
    }
    if (totalBytesRead > 0)
        if (auto delegate = delegate_.lock())
            delegate->onSocketDidReadPartialDataOfLength(*this, totalBytesRead, packet->tag);
    if (streamError)
        closeWithError(getStreamError());
    else if (maxedOut)
        closeWithError(getReadMaxedOutError());
}

void AsyncSocket::completeCurrentRead()
{
    auto packet = std::get<std::shared_ptr<AsyncReadPacket>>(*currentRead_);
    SocketData result;
    if (packet->bufferOwner) {
        packet->buffer->resize(packet->bytesDone);
        result = SocketData{packet->buffer, 0, packet->bytesDone};
    } else {
        if (packet->buffer->size() > packet->originalBufferLength)
            packet->buffer->resize(std::max(packet->originalBufferLength, packet->startOffset + packet->bytesDone));
        result = SocketData{packet->buffer, packet->startOffset, packet->bytesDone};
    }
    if (auto delegate = delegate_.lock())
        delegate->onSocketDidReadData(*this, result, packet->tag);
    if (currentRead_)
        endCurrentRead();
}

void AsyncSocket::endCurrentRead()
{
    if (readTimer_) {
        readTimer_->invalidate();
        readTimer_.reset();
    }
    currentRead_.reset();
}

void AsyncSocket::doReadTimeout()
{
    auto* current = currentRead_ ? std::get_if<std::shared_ptr<AsyncReadPacket>>(&*currentRead_) : nullptr;
    if (!current)
        return;
    std::shared_ptr<AsyncReadPacket> packet = *current;
    if (auto delegate = delegate_.lock()) {
        const std::optional<double> extension =
            delegate->onSocketShouldTimeoutReadWithTag(*this, packet->tag, packet->timeout, packet->bytesDone);
        if (extension && *extension > 0.0 && currentRead_) {
            packet->timeout += *extension;
            readTimer_ = makeTimer(*extension, &AsyncSocket::doReadTimeout);
            return;
        }
    }
    closeWithError(getReadTimeoutError());
}

}  // namespace orv
