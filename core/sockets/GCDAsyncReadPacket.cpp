#include "core/sockets/GCDAsyncReadPacket.h"

#include "core/sockets/GCDAsyncSocketPreBuffer.h"

#include <algorithm>
#include <cstring>

namespace orv {

GCDAsyncReadPacket::GCDAsyncReadPacket(std::shared_ptr<Bytes> callerBuffer, size_t offset, size_t maximum,
                                       double timeoutSeconds, size_t length, std::optional<Bytes> terminator,
                                       int64_t readTag)
    : maxLength(maximum), timeout(timeoutSeconds), readLength(length), term(std::move(terminator)), tag(readTag)
{
    if (callerBuffer) {
        buffer = std::move(callerBuffer);
        startOffset = offset;
        bufferOwner = false;
        originalBufferLength = buffer->size();
    } else {
        buffer = std::make_shared<Bytes>(readLength);
        startOffset = 0;
        bufferOwner = true;
        originalBufferLength = 0;
    }
}

void GCDAsyncReadPacket::ensureCapacityForAdditionalDataOfLength(size_t length)
{
    const size_t used = startOffset + bytesDone;
    const size_t space = buffer->size() > used ? buffer->size() - used : 0;
    if (space < length)
        buffer->resize(buffer->size() + (length - space));
}

size_t GCDAsyncReadPacket::optimalReadLengthWithDefault(size_t defaultValue, bool* shouldPreBufferPtr) const
{
    size_t result;
    bool shouldPreBuffer = false;
    if (readLength > 0) {
        result = std::min(defaultValue, readLength - bytesDone);
    } else {
        result = defaultValue;
        if (maxLength > 0)
            result = std::min(result, maxLength - bytesDone);
        const size_t used = startOffset + bytesDone;
        const size_t space = buffer->size() > used ? buffer->size() - used : 0;
        shouldPreBuffer = space < result;
    }
    if (shouldPreBufferPtr)
        *shouldPreBufferPtr = shouldPreBuffer;
    return result;
}

size_t GCDAsyncReadPacket::readLengthForNonTermWithHint(size_t bytesAvailable) const
{
    if (readLength > 0)
        return std::min(bytesAvailable, readLength - bytesDone);
    if (maxLength > 0)
        return std::min(bytesAvailable, maxLength - bytesDone);
    return bytesAvailable;
}

size_t GCDAsyncReadPacket::readLengthForTermWithHint(size_t bytesAvailable, bool* shouldPreBufferPtr) const
{
    size_t result = bytesAvailable;
    if (maxLength > 0)
        result = std::min(result, maxLength - bytesDone);
    // Reading straight into the buffer is only worth it when the bytes fit;
    // otherwise they go through the pre-buffer, which also keeps whatever
    // follows the terminator for the next read.
    const size_t used = startOffset + bytesDone;
    const size_t space = buffer->size() > used ? buffer->size() - used : 0;
    if (shouldPreBufferPtr)
        *shouldPreBufferPtr = space < result;
    return result;
}

size_t GCDAsyncReadPacket::readLengthForTermWithPreBuffer(const GCDAsyncSocketPreBuffer& preBuffer,
                                                          bool* foundPtr) const
{
    const size_t termLength = term->size();
    const size_t preBufferLength = preBuffer.availableBytes();
    bool found = false;
    size_t result = preBufferLength;

    if (bytesDone + preBufferLength >= termLength) {
        size_t maxPreBufferLength = preBufferLength;
        if (maxLength > 0)
            maxPreBufferLength = std::min(maxPreBufferLength, maxLength > bytesDone ? maxLength - bytesDone : 0);

        // The terminator may begin in the bytes already read and end in the
        // pre-buffer, so the search window starts up to termLength-1 bytes back.
        const size_t preLength = std::min(bytesDone, termLength - 1);
        const uint8_t* packetTail = buffer->data() + startOffset + bytesDone - preLength;
        const uint8_t* pre = preBuffer.readBuffer();
        const uint8_t* termBytes = term->data();
        auto byteAt = [&](size_t i) { return i < preLength ? packetTail[i] : pre[i - preLength]; };

        result = maxPreBufferLength;
        const size_t searched = preLength + maxPreBufferLength;
        for (size_t i = 0; i + termLength <= searched; ++i) {
            bool match;
            if (i >= preLength) {
                match = std::memcmp(pre + (i - preLength), termBytes, termLength) == 0;
            } else {
                match = true;
                for (size_t j = 0; j < termLength; ++j) {
                    if (byteAt(i + j) != termBytes[j]) {
                        match = false;
                        break;
                    }
                }
            }
            if (match) {
                found = true;
                result = i + termLength - preLength;
                break;
            }
        }
    }

    if (foundPtr)
        *foundPtr = found;
    return result;
}

ssize_t GCDAsyncReadPacket::searchForTermAfterPreBuffering(size_t numBytes) const
{
    const uint8_t* base = buffer->data() + startOffset;
    const size_t termLength = term->size();
    const size_t total = bytesDone + numBytes;
    size_t i = bytesDone + 1 > termLength ? bytesDone + 1 - termLength : 0;
    for (; i + termLength <= total; ++i) {
        if (std::memcmp(base + i, term->data(), termLength) == 0)
            return static_cast<ssize_t>(total - (i + termLength));
    }
    return -1;
}

}  // namespace orv
