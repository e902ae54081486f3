#pragma once
// The settings a TLS start takes: a loosely typed map keyed by the names
// below, so that a value of the wrong type can be refused with its key's name.

#include "core/sockets/SocketData.h"

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace orv {

// The session's own certificate: PEM text holding the leaf certificate first,
// then any intermediate certificates, and the leaf's private key in PEM.
struct TlsIdentity {
    std::string certificateChainPem;
    std::string privateKeyPem;
    bool operator==(const TlsIdentity&) const = default;
};

using TlsSettingValue =
    std::variant<bool, int64_t, std::string, Bytes, std::vector<int64_t>, TlsIdentity>;
using TlsSettings = std::map<std::string, TlsSettingValue>;

// Keys, in the order they are applied.
inline constexpr const char* kCFStreamSSLIsServer = "kCFStreamSSLIsServer";                    // bool
inline constexpr const char* GCDAsyncSocketManuallyEvaluateTrust = "GCDAsyncSocketManuallyEvaluateTrust";  // bool
inline constexpr const char* kCFStreamSSLPeerName = "kCFStreamSSLPeerName";                    // string
inline constexpr const char* kCFStreamSSLCertificates = "kCFStreamSSLCertificates";            // TlsIdentity
inline constexpr const char* GCDAsyncSocketSSLPeerID = "GCDAsyncSocketSSLPeerID";              // Bytes
inline constexpr const char* GCDAsyncSocketSSLProtocolVersionMin = "GCDAsyncSocketSSLProtocolVersionMin";  // int
inline constexpr const char* GCDAsyncSocketSSLProtocolVersionMax = "GCDAsyncSocketSSLProtocolVersionMax";  // int
inline constexpr const char* GCDAsyncSocketSSLSessionOptionFalseStart =
    "GCDAsyncSocketSSLSessionOptionFalseStart";  // bool, accepted and ignored
inline constexpr const char* GCDAsyncSocketSSLSessionOptionSendOneByteRecord =
    "GCDAsyncSocketSSLSessionOptionSendOneByteRecord";  // bool, accepted and ignored
inline constexpr const char* GCDAsyncSocketSSLCipherSuites = "GCDAsyncSocketSSLCipherSuites";  // 16-bit suite codes
inline constexpr const char* GCDAsyncSocketSSLDiffieHellmanParameters =
    "GCDAsyncSocketSSLDiffieHellmanParameters";  // DER DH parameters

// Keys refused whenever present: the socket does not weaken verification.
inline constexpr const char* kCFStreamSSLAllowsAnyRoot = "kCFStreamSSLAllowsAnyRoot";
inline constexpr const char* kCFStreamSSLAllowsExpiredRoots = "kCFStreamSSLAllowsExpiredRoots";
inline constexpr const char* kCFStreamSSLValidatesCertificateChain = "kCFStreamSSLValidatesCertificateChain";
inline constexpr const char* kCFStreamSSLAllowsExpiredCertificates = "kCFStreamSSLAllowsExpiredCertificates";
inline constexpr const char* kCFStreamSSLLevel = "kCFStreamSSLLevel";

// Protocol versions for the min/max keys: the version numbers of the wire
// format. 0 leaves the library's default.
enum GCDAsyncSocketTLSProtocol : int64_t {
    kTLSProtocolDefault = 0,
    kTLSProtocol1 = 0x0301,
    kTLSProtocol11 = 0x0302,
    kTLSProtocol12 = 0x0303,
    kTLSProtocol13 = 0x0304,
};

}  // namespace orv
