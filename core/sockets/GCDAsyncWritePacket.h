#pragma once
// One queued write. It keeps the caller's bytes (shared, not copied), so the
// caller must not change them while the write is queued.

#include "core/sockets/SocketData.h"

namespace orv {

class GCDAsyncWritePacket {
public:
    GCDAsyncWritePacket(std::shared_ptr<const Bytes> data, double timeout, int64_t tag);

    size_t length() const { return buffer->size(); }

    std::shared_ptr<const Bytes> buffer;
    size_t bytesDone = 0;
    int64_t tag = 0;
    double timeout = -1;
};

}  // namespace orv
