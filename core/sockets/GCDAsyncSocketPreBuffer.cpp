#include "core/sockets/GCDAsyncSocketPreBuffer.h"

#include <cstring>

namespace orv {

GCDAsyncSocketPreBuffer::GCDAsyncSocketPreBuffer(size_t capacity)
    : block_(new uint8_t[capacity ? capacity : 1]), size_(capacity)
{
}

void GCDAsyncSocketPreBuffer::ensureCapacityForWrite(size_t length)
{
    const size_t space = availableSpace();
    if (length <= space)
        return;
    const size_t newSize = size_ + (length - space);
    std::unique_ptr<uint8_t[]> grown(new uint8_t[newSize]);
    // Only the bytes not yet handed out matter, but they keep their offsets.
    if (writeOffset_ > readOffset_)
        std::memcpy(grown.get() + readOffset_, block_.get() + readOffset_, writeOffset_ - readOffset_);
    block_ = std::move(grown);
    size_ = newSize;
}

void GCDAsyncSocketPreBuffer::getReadBuffer(const uint8_t** bufferPtr, size_t* availableBytesPtr) const
{
    if (bufferPtr)
        *bufferPtr = readBuffer();
    if (availableBytesPtr)
        *availableBytesPtr = availableBytes();
}

void GCDAsyncSocketPreBuffer::getWriteBuffer(uint8_t** bufferPtr, size_t* availableSpacePtr)
{
    if (bufferPtr)
        *bufferPtr = writeBuffer();
    if (availableSpacePtr)
        *availableSpacePtr = availableSpace();
}

void GCDAsyncSocketPreBuffer::didRead(size_t length)
{
    readOffset_ += length;
    if (readOffset_ >= writeOffset_) {
        readOffset_ = 0;
        writeOffset_ = 0;
    }
}

void GCDAsyncSocketPreBuffer::didWrite(size_t length)
{
    writeOffset_ += length;
}

void GCDAsyncSocketPreBuffer::reset()
{
    readOffset_ = 0;
    writeOffset_ = 0;
}

}  // namespace orv
