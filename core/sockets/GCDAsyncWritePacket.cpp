#include "core/sockets/GCDAsyncWritePacket.h"

namespace orv {

GCDAsyncWritePacket::GCDAsyncWritePacket(std::shared_ptr<const Bytes> data, double timeoutSeconds, int64_t writeTag)
    : buffer(std::move(data)), tag(writeTag), timeout(timeoutSeconds)
{
}

}  // namespace orv
