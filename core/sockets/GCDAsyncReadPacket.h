#pragma once
// One queued read: it ends after an exact length, at a terminator (optionally
// within a maximum length), or with whatever is available (optionally at most
// a maximum). The length helpers decide how much to read and whether the bytes
// should go through the pre-buffer first.

#include "core/sockets/SocketData.h"

#include <optional>
#include <sys/types.h>

namespace orv {

class GCDAsyncSocketPreBuffer;

class GCDAsyncReadPacket {
public:
    // Without a buffer the packet owns one of `readLength` zero bytes; with one,
    // bytes land at `startOffset` of the caller's buffer.
    GCDAsyncReadPacket(std::shared_ptr<Bytes> buffer, size_t startOffset, size_t maxLength, double timeout,
                       size_t readLength, std::optional<Bytes> terminator, int64_t tag);

    // Grows the buffer so `length` more bytes fit after those already read.
    void ensureCapacityForAdditionalDataOfLength(size_t length);

    size_t optimalReadLengthWithDefault(size_t defaultValue, bool* shouldPreBufferPtr) const;
    size_t readLengthForNonTermWithHint(size_t bytesAvailable) const;
    size_t readLengthForTermWithHint(size_t bytesAvailable, bool* shouldPreBufferPtr) const;
    // How many pre-buffered bytes to move into this read; `foundPtr` says
    // whether they end with the terminator (also one split across the bytes
    // already read and the pre-buffer).
    size_t readLengthForTermWithPreBuffer(const GCDAsyncSocketPreBuffer& preBuffer, bool* foundPtr) const;
    // After `numBytes` were read straight into the buffer: how many of them
    // follow the terminator, or -1 when it is not there.
    ssize_t searchForTermAfterPreBuffering(size_t numBytes) const;

    uint8_t* writePosition() { return buffer->data() + startOffset + bytesDone; }
    bool isLengthRead() const { return readLength > 0; }
    bool isTermRead() const { return term.has_value(); }

    std::shared_ptr<Bytes> buffer;
    size_t startOffset = 0;
    size_t bytesDone = 0;
    size_t maxLength = 0;
    double timeout = -1;
    size_t readLength = 0;
    std::optional<Bytes> term;
    bool bufferOwner = false;
    size_t originalBufferLength = 0;
    int64_t tag = 0;
};

}  // namespace orv
