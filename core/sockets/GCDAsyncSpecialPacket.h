#pragma once
// The TLS marker: queued on both the read and the write side; when both sides
// reach it the session starts with these settings.

#include "core/sockets/GCDAsyncSocketTLSSettings.h"

namespace orv {

class GCDAsyncSpecialPacket {
public:
    explicit GCDAsyncSpecialPacket(TlsSettings settings) : tlsSettings(std::move(settings)) {}

    const TlsSettings tlsSettings;
};

}  // namespace orv
