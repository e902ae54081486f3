#pragma once
// One read queued on a run-loop TCP socket: to an exact length, to a
// terminator (optionally within a bound), or whatever is available
// (optionally at most a bound). The length helpers decide how much one
// stream read may take so that a terminator read never passes its
// terminator, or, reading ahead, how much of the surplus to push back.

#include "core/sockets/SocketData.h"

#include <memory>
#include <optional>
#include <sys/types.h>

namespace orv {

class AsyncReadPacket {
public:
    // Without a buffer the packet makes its own; with one, bytes land at
    // `startOffset` of the caller's buffer, which is then not copied.
    AsyncReadPacket(std::shared_ptr<Bytes> buffer, size_t startOffset, size_t maxLength, double timeout,
                    size_t readLength, std::optional<Bytes> terminator, long tag);

    size_t readLengthForNonTerm() const;
    size_t readLengthForTerm() const;
    size_t prebufferReadLengthForTerm() const;
    // How much of the pre-buffer to take; `found` turns true when those bytes
    // complete the terminator (also one split across bytes already read).
    size_t readLengthForTermWithPreBuffer(const Bytes& preBuffer, bool* found) const;
    // After a read-ahead of `numBytes`: how many of the bytes read lie beyond
    // the terminator, or -1 when it is not there.
    ssize_t searchForTermAfterPreBuffering(size_t numBytes) const;

    uint8_t* writePosition() { return buffer->data() + startOffset + bytesDone; }
    const uint8_t* readBytes() const { return buffer->data() + startOffset; }

    std::shared_ptr<Bytes> buffer;
    size_t startOffset = 0;
    size_t bytesDone = 0;
    size_t maxLength = 0;
    double timeout = -1;
    size_t readLength = 0;
    std::optional<Bytes> term;
    bool bufferOwner = false;
    size_t originalBufferLength = 0;
    long tag = 0;

private:
    size_t callerRoomLimit(size_t chunk) const;
};

}  // namespace orv
