#include "core/sockets/AsyncReadPacket.h"

#include <algorithm>
#include <cstring>

namespace orv {

namespace {

constexpr size_t kChunk = 256;
// An available-data read into its own buffer takes what is there in chunks
// that grow with what it already has, up to this.
constexpr size_t kLargestOwnChunk = 64 * 1024;

}  // namespace

AsyncReadPacket::AsyncReadPacket(std::shared_ptr<Bytes> buffer_, size_t startOffset_, size_t maxLength_,
                                 double timeout_, size_t readLength_, std::optional<Bytes> terminator, long tag_)
    : maxLength(maxLength_), timeout(timeout_), readLength(readLength_), term(std::move(terminator)), tag(tag_)
{
    if (buffer_) {
        buffer = std::move(buffer_);
        startOffset = startOffset_;
        originalBufferLength = buffer->size();
    } else {
        buffer = std::make_shared<Bytes>();
        bufferOwner = true;
    }
}

size_t AsyncReadPacket::callerRoomLimit(size_t chunk) const
{
    if (bufferOwner || buffer->size() != originalBufferLength)
        return chunk;
    const size_t used = startOffset + bytesDone;
    const size_t room = buffer->size() > used ? buffer->size() - used : 0;
    return room > 0 && room < chunk ? room : chunk;
}

size_t AsyncReadPacket::readLengthForNonTerm() const
{
    if (readLength > 0)
        return readLength - bytesDone;
    size_t chunk = kChunk;
    // Whatever is available goes straight into the caller's room in one
    // stream read, and into an own buffer in growing chunks: the same bytes
    // as in 256-byte steps, with far fewer system calls.
    if (bufferOwner) {
        chunk = std::max(kChunk, std::min(bytesDone, kLargestOwnChunk));
    } else if (buffer->size() == originalBufferLength && buffer->size() > startOffset + bytesDone) {
        chunk = std::max(kChunk, buffer->size() - startOffset - bytesDone);
    }
    if (maxLength > 0)
        chunk = std::min(chunk, maxLength - bytesDone);
    return callerRoomLimit(chunk);
}

size_t AsyncReadPacket::readLengthForTerm() const
{
    const size_t t = term->size();
    if (bytesDone == 0 || t == 1)
        return t;
    size_t chunk = t;
    // The longest tail of the bytes read that starts the terminator.
    size_t i = bytesDone >= t ? bytesDone - t + 1 : 0;
    size_t j = std::min(bytesDone, t - 1);
    const uint8_t* bytes = readBytes();
    while (i < bytesDone && j > 0) {
        if (std::memcmp(bytes + i, term->data(), j) == 0) {
            chunk = t - j;
            break;
        }
        ++i;
        --j;
    }
    if (maxLength > 0)
        chunk = std::min(chunk, maxLength - bytesDone);
    return callerRoomLimit(chunk);
}

size_t AsyncReadPacket::prebufferReadLengthForTerm() const
{
    size_t chunk = kChunk;
    if (maxLength > 0)
        chunk = std::min(chunk, maxLength - bytesDone);
    return callerRoomLimit(chunk);
}

size_t AsyncReadPacket::readLengthForTermWithPreBuffer(const Bytes& preBuffer, bool* found) const
{
    const size_t p = preBuffer.size();
    const size_t t = term->size();
    if (bytesDone + p < t)
        return p;
    size_t usable = p;
    if (maxLength > 0)
        usable = std::min(p, maxLength - bytesDone);
    const size_t k = std::min(bytesDone, t - 1);
    const uint8_t* read = readBytes();
    if (k + usable < t) {
        *found = false;
        return p;
    }
    for (size_t s = 0; s <= k + usable - t; ++s) {
        if (s < k) {
            const size_t fromRead = k - s;
            const size_t fromPre = t - fromRead;
            if (std::memcmp(read + bytesDone - fromRead, term->data(), fromRead) == 0 &&
                std::memcmp(preBuffer.data(), term->data() + fromRead, fromPre) == 0) {
                *found = true;
                return fromPre;
            }
        } else {
            const size_t o = s - k;
            if (std::memcmp(preBuffer.data() + o, term->data(), t) == 0) {
                *found = true;
                return o + t;
            }
        }
    }
    *found = false;
    return p;
}

ssize_t AsyncReadPacket::searchForTermAfterPreBuffering(size_t numBytes) const
{
    const size_t t = term->size();
    const size_t before = bytesDone - numBytes;
    size_t i = before >= t ? before - t + 1 : 0;
    const uint8_t* bytes = readBytes();
    for (; i + t <= bytesDone; ++i)
        if (std::memcmp(bytes + i, term->data(), t) == 0)
            return static_cast<ssize_t>(bytesDone - (i + t));
    return -1;
}

}  // namespace orv
