#pragma once
// A growable byte buffer with separate read and write positions: bytes read
// from the descriptor ahead of the read that will take them. It grows on
// demand and is never shrunk, only emptied.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace orv {

class GCDAsyncSocketPreBuffer {
public:
    explicit GCDAsyncSocketPreBuffer(size_t capacity);
    GCDAsyncSocketPreBuffer(const GCDAsyncSocketPreBuffer&) = delete;
    GCDAsyncSocketPreBuffer& operator=(const GCDAsyncSocketPreBuffer&) = delete;

    // Grows the block so that at least `length` bytes fit after the write
    // position; both positions keep their offsets.
    void ensureCapacityForWrite(size_t length);

    size_t availableBytes() const { return writeOffset_ - readOffset_; }
    const uint8_t* readBuffer() const { return block_.get() + readOffset_; }
    void getReadBuffer(const uint8_t** bufferPtr, size_t* availableBytesPtr) const;

    size_t availableSpace() const { return size_ - writeOffset_; }
    uint8_t* writeBuffer() { return block_.get() + writeOffset_; }
    void getWriteBuffer(uint8_t** bufferPtr, size_t* availableSpacePtr);

    // Hands out `length` bytes; once everything is handed out both positions
    // go back to the start, so the block is reused from its beginning.
    void didRead(size_t length);
    void didWrite(size_t length);
    void reset();

    size_t capacity() const { return size_; }

private:
    std::unique_ptr<uint8_t[]> block_;
    size_t size_ = 0;
    size_t readOffset_ = 0;
    size_t writeOffset_ = 0;
};

}  // namespace orv
