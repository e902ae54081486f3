#pragma once
// One TLS session (OpenSSL) over I/O functions supplied by the socket, with
// results as GCDAsyncSocketTLSStatus codes. Internal to the socket classes;
// only this class and the trust evaluation touch OpenSSL.

#include "core/sockets/GCDAsyncSocketTLSSettings.h"
#include "core/sockets/SocketData.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace orv {

class GCDAsyncSocketTrust;

class TlsSession {
public:
    // Pull and push functions: `*length` in, bytes moved out; a status
    // (success, would-block, or closed-abort) as the result.
    using ReadFunction = std::function<int32_t(uint8_t* buffer, size_t* length)>;
    using WriteFunction = std::function<int32_t(const uint8_t* buffer, size_t* length)>;

    // nullptr when the library cannot make a session.
    static std::unique_ptr<TlsSession> create(bool isServer);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    bool isServer() const { return isServer_; }

    bool setIOFuncs(ReadFunction readFunction, WriteFunction writeFunction);
    // Client only: the handshake stops with kTLSStatusPeerAuthCompleted once
    // the server's certificates are in, until trustPeer() is called.
    bool setBreakOnServerAuth();
    bool setPeerDomainName(const std::string& peerName);
    bool setCertificate(const TlsIdentity& identity);
    bool setPeerID(const Bytes& peerID);
    bool setProtocolVersionMin(int64_t version);
    bool setProtocolVersionMax(int64_t version);
    bool setEnabledCiphers(const std::vector<int64_t>& cipherSuites);
    bool setDiffieHellmanParams(const Bytes& derParameters);
    // Client only: which verification failures of the server's chain are
    // let through. By default none are; without chain validation, all are.
    struct Leniency {
        bool validateChain = true;
        bool allowAnyRoot = false;
        bool allowExpiredCertificates = false;
        bool allowExpiredRoots = false;
    };
    bool setLeniency(const Leniency& leniency);

    // Without a break on server auth a client verifies the server's chain
    // against the system's roots, and its name when one was set.
    int32_t handshake();
    int32_t read(uint8_t* buffer, size_t length, size_t* processed);
    // After kTLSStatusWouldBlock the same bytes must be offered again.
    int32_t write(const uint8_t* buffer, size_t length, size_t* processed);
    // Plaintext already decrypted and waiting inside the session.
    size_t bufferedReadSize() const;

    // The certificates the server presented, while the handshake waits for
    // the verdict.
    std::shared_ptr<GCDAsyncSocketTrust> copyPeerTrust(int32_t* status) const;
    void trustPeer();

    // Best-effort close_notify; the session is unusable afterwards.
    void close();
    void* nativeHandle() const;

    struct Impl;

private:
    explicit TlsSession(bool isServer);

    bool isServer_;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orv
