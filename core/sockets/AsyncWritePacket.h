#pragma once
// One write queued on a run-loop TCP socket. The data is held as handed in,
// not copied.

#include "core/sockets/SocketData.h"

#include <memory>

namespace orv {

struct AsyncWritePacket {
    std::shared_ptr<const Bytes> buffer;
    size_t bytesDone = 0;
    long tag = 0;
    double timeout = -1;  // seconds; negative: none. Grows by each extension.
};

}  // namespace orv
