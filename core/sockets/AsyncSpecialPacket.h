#pragma once
// The TLS marker of a run-loop TCP socket: one object travels through both
// queues, and its settings go to the streams once both sides reach it.

#include "core/sockets/GCDAsyncSocketTLSSettings.h"

namespace orv {

struct AsyncSpecialPacket {
    TlsSettings tlsSettings;
};

}  // namespace orv
