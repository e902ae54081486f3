#pragma once
// A read stream and a write stream over one TCP connection, served by a run
// loop. Each half tells its client, on the loop's thread, that it opened, has
// bytes / can take bytes, failed or reached its end. A has-bytes or can-take-
// bytes event comes once per signal: again only after the client has read or
// written. TLS settings turn both halves into one TLS session over the
// connection; the handshake runs on the loop, and a client verifies the
// server unless the settings explicitly turn that off.
// Meant for the run loop's own thread.

#include "core/sockets/GCDAsyncSocketTLSSettings.h"
#include "core/sockets/SocketData.h"
#include "platform/RunLoop.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orv {

class RunLoopSource;
class TlsSession;

// Domains of a stream error.
enum StreamErrorDomain : long {
    kStreamErrorDomainCustom = -1,
    kStreamErrorDomainPOSIX = 1,
    kStreamErrorDomainMacOSStatus = 2,
    kStreamErrorDomainSSL = 3,
    kStreamErrorDomainSOCKS = 5,
    kStreamErrorDomainNetServices = 10,
    kStreamErrorDomainMach = 11,
    kStreamErrorDomainNetDB = 12,
    kStreamErrorDomainSystemConfiguration = 17,
};

struct StreamError {
    long domain = 0;
    int32_t error = 0;
};

// The security-level key's values.
inline constexpr const char* kStreamSocketSecurityLevelNone = "kCFStreamSocketSecurityLevelNone";
inline constexpr const char* kStreamSocketSecurityLevelSSLv2 = "kCFStreamSocketSecurityLevelSSLv2";
inline constexpr const char* kStreamSocketSecurityLevelSSLv3 = "kCFStreamSocketSecurityLevelSSLv3";
inline constexpr const char* kStreamSocketSecurityLevelTLSv1 = "kCFStreamSocketSecurityLevelTLSv1";
inline constexpr const char* kStreamSocketSecurityLevelNegotiatedSSL = "kCFStreamSocketSecurityLevelNegotiatedSSL";

class RunLoopStreamPair : public std::enable_shared_from_this<RunLoopStreamPair> {
    struct PrivateTag {};

public:
    enum Half { kReadHalf, kWriteHalf };
    enum Status {
        kStatusNotOpen = 0,
        kStatusOpening,
        kStatusOpen,
        kStatusReading,
        kStatusWriting,
        kStatusAtEnd,
        kStatusClosed,
        kStatusError,
    };
    enum Event : unsigned {
        kEventOpenCompleted = 1,
        kEventHasBytesAvailable = 2,
        kEventCanAcceptBytes = 4,
        kEventErrorOccurred = 8,
        kEventEndEncountered = 16,
    };
    using Client = std::function<void(RunLoopStreamPair& streams, Half half, Event event)>;

    // Streams that resolve `host` and connect when opened; the host is also
    // the name a TLS client expects unless the settings name another.
    static std::shared_ptr<RunLoopStreamPair> createToHost(const std::string& host, uint16_t port);
    // Streams over a connected descriptor (made non-blocking here).
    static std::shared_ptr<RunLoopStreamPair> createWithSocket(int fd);
    RunLoopStreamPair(PrivateTag, int fd, std::string host, uint16_t port);
    // Closes the descriptor when it should close it.
    ~RunLoopStreamPair();
    RunLoopStreamPair(const RunLoopStreamPair&) = delete;
    RunLoopStreamPair& operator=(const RunLoopStreamPair&) = delete;

    // `events` is the mask of events the client hears; an empty client removes it.
    void setClient(Half half, unsigned events, Client client);
    void schedule(RunLoop& loop, const std::vector<RunLoopMode>& modes);
    void unschedule(RunLoop& loop, const std::vector<RunLoopMode>& modes);

    // false with the half's error set when it cannot start.
    bool open(Half half);
    void close(Half half);
    Status status(Half half) const { return half == kReadHalf ? readStatus_ : writeStatus_; }
    StreamError error(Half half) const { return half == kReadHalf ? readError_ : writeError_; }

    // Bytes moved; 0 when none could move now (or at the end); -1 on an error.
    long read(uint8_t* buffer, size_t length);
    long write(const uint8_t* buffer, size_t length);
    bool hasBytesAvailable() const;
    bool canAcceptBytes() const;

    // -1 before the connection exists.
    int nativeHandle() const { return fd_; }
    void setShouldCloseNativeSocket(bool close) { shouldCloseNative_ = close; }
    // Takes the settings for a TLS session over both halves; false when they
    // are refused (an unknown key's value of the wrong type, a level this
    // library lacks, a certificate that does not load).
    bool setTLSSettings(const TlsSettings& settings);
    bool isSecure() const { return tls_ == kTlsSecure; }

private:
    enum TlsState { kTlsNone, kTlsHandshaking, kTlsSecure };

    void fired(unsigned ready);
    void updateEvents();
    void emit(Half half, Event event);
    void post(Half half, Event event);
    void fail(StreamError error);
    void reachEnd();
    void connectNext();
    void connectFinished();
    void continueHandshake();
    int32_t tlsRead(uint8_t* buffer, size_t* length);
    int32_t tlsWrite(const uint8_t* buffer, size_t* length);

    int fd_;
    std::string host_;
    uint16_t port_;
    std::vector<Bytes> addresses_;
    size_t nextAddress_ = 0;
    bool connecting_ = false;
    StreamError connectError_;
    bool shouldCloseNative_ = false;
    Status readStatus_ = kStatusNotOpen;
    Status writeStatus_ = kStatusNotOpen;
    StreamError readError_;
    StreamError writeError_;
    unsigned readMask_ = 0;
    unsigned writeMask_ = 0;
    Client readClient_;
    Client writeClient_;
    // A has-bytes or can-take-bytes event was given and not yet answered.
    bool readSignalled_ = false;
    bool writeSignalled_ = false;
    // Readiness as last seen: true until a read or write comes back short.
    bool readable_ = false;
    bool writable_ = false;
    TlsState tls_ = kTlsNone;
    bool tlsWantsWrite_ = false;
    std::unique_ptr<TlsSession> session_;
    std::shared_ptr<RunLoopSource> source_;
    std::shared_ptr<RunLoop> loop_;
    std::vector<RunLoopMode> modes_;
};

}  // namespace orv
