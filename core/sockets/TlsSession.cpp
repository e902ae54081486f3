#include "core/sockets/TlsSession.h"

#include "core/sockets/GCDAsyncSocket.h"
#include "core/sockets/GCDAsyncSocketTrust.h"

#include <arpa/inet.h>
#include <map>
#include <mutex>
#include <openssl/bio.h>
#include <openssl/decoder.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace orv {

namespace {

// OpenSSL keeps per-thread state (its error queue) that it frees when a thread
// ends, unless its own clean-up at exit has already run. Initialising it when
// the library loads orders that clean-up after the end of the dispatch
// threads, which start later and are joined at exit before it.
const bool openSSLInitialised = OPENSSL_init_ssl(0, nullptr) == 1;

// Sessions kept for resumption, by the peer id the owner gave.
class SessionCache {
public:
    // Never destroyed: a TLS handshake still finishing on a socket thread
    // while the process exits may store into it.
    static SessionCache& shared()
    {
        static SessionCache* cache = new SessionCache;
        return *cache;
    }

    void store(const Bytes& peerIDBytes, SSL_SESSION* session)
    {
        const std::string peerID(peerIDBytes.begin(), peerIDBytes.end());
        std::lock_guard lock(mutex_);
        if (sessions_.size() >= kMaxSessions && !sessions_.count(peerID)) {
            SSL_SESSION_free(sessions_.begin()->second);
            sessions_.erase(sessions_.begin());
        }
        auto [it, inserted] = sessions_.emplace(peerID, session);
        if (!inserted) {
            SSL_SESSION_free(it->second);
            it->second = session;
        }
    }

    // A new reference, or nullptr.
    SSL_SESSION* find(const Bytes& peerIDBytes)
    {
        const std::string peerID(peerIDBytes.begin(), peerIDBytes.end());
        std::lock_guard lock(mutex_);
        auto it = sessions_.find(peerID);
        if (it == sessions_.end())
            return nullptr;
        SSL_SESSION_up_ref(it->second);
        return it->second;
    }

private:
    static constexpr size_t kMaxSessions = 256;
    std::mutex mutex_;
    std::map<std::string, SSL_SESSION*> sessions_;
};

// One context for every server session: the session carries its own
// certificate, and sharing the context lets clients resume with its tickets.
SSL_CTX* serverContext()
{
    static SSL_CTX* ctx = [] {
        SSL_CTX* c = SSL_CTX_new(TLS_method());
        if (c)
            SSL_CTX_set_verify(c, SSL_VERIFY_NONE, nullptr);
        return c;
    }();
    return ctx;
}

Bytes derOf(X509* certificate)
{
    unsigned char* der = nullptr;
    const int length = i2d_X509(certificate, &der);
    if (length <= 0)
        return {};
    Bytes result(der, der + length);
    OPENSSL_free(der);
    return result;
}

}  // namespace

struct TlsSession::Impl {
    SSL_CTX* ctx = nullptr;  // owned for clients; the shared one for servers
    bool ownsContext = false;
    SSL* ssl = nullptr;
    ReadFunction readFunction;
    WriteFunction writeFunction;
    bool ioAborted = false;
    bool manualTrust = false;
    bool trustAccepted = false;
    std::string peerName;
    std::optional<Bytes> peerID;
    std::vector<Bytes> peerCertificates;
    TlsSession::Leniency leniency;

    ~Impl()
    {
        if (ssl)
            SSL_free(ssl);
        if (ctx && ownsContext)
            SSL_CTX_free(ctx);
    }

    static int bioCreate(BIO* bio)
    {
        BIO_set_init(bio, 1);
        return 1;
    }

    static int bioRead(BIO* bio, char* data, size_t length, size_t* readBytes)
    {
        auto* impl = static_cast<Impl*>(BIO_get_data(bio));
        BIO_clear_retry_flags(bio);
        *readBytes = 0;
        if (!impl || !impl->readFunction)
            return 0;
        size_t n = length;
        const int32_t status = impl->readFunction(reinterpret_cast<uint8_t*>(data), &n);
        *readBytes = n;
        if (n > 0)
            return 1;
        if (status == kTLSStatusWouldBlock) {
            BIO_set_retry_read(bio);
            return 0;
        }
        impl->ioAborted = true;
        return 0;
    }

    static int bioWrite(BIO* bio, const char* data, size_t length, size_t* written)
    {
        auto* impl = static_cast<Impl*>(BIO_get_data(bio));
        BIO_clear_retry_flags(bio);
        *written = 0;
        if (!impl || !impl->writeFunction)
            return 0;
        size_t n = length;
        const int32_t status = impl->writeFunction(reinterpret_cast<const uint8_t*>(data), &n);
        *written = n;
        if (n > 0)
            return 1;
        if (status == kTLSStatusWouldBlock) {
            BIO_set_retry_write(bio);
            return 0;
        }
        impl->ioAborted = true;
        return 0;
    }

    static long bioCtrl(BIO*, int cmd, long, void*)
    {
        // Writes go straight to the socket, so there is nothing to flush.
        return cmd == BIO_CTRL_FLUSH ? 1 : 0;
    }

    static BIO_METHOD* bioMethod()
    {
        static BIO_METHOD* method = [] {
            BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "GCDAsyncSocket");
            BIO_meth_set_create(m, bioCreate);
            BIO_meth_set_read_ex(m, bioRead);
            BIO_meth_set_write_ex(m, bioWrite);
            BIO_meth_set_ctrl(m, bioCtrl);
            return m;
        }();
        return method;
    }

    // The manual-trust hook: instead of verifying, keep the server's
    // certificates and pause the handshake until the delegate decides.
    static int certVerifyCallback(X509_STORE_CTX* storeCtx, void* arg)
    {
        auto* impl = static_cast<Impl*>(arg);
        if (impl->trustAccepted)
            return 1;
        impl->peerCertificates.clear();
        X509* leaf = X509_STORE_CTX_get0_cert(storeCtx);
        if (leaf)
            impl->peerCertificates.push_back(derOf(leaf));
        if (STACK_OF(X509)* chain = X509_STORE_CTX_get0_untrusted(storeCtx)) {
            for (int i = 0; i < sk_X509_num(chain); ++i) {
                X509* certificate = sk_X509_value(chain, i);
                if (certificate != leaf)
                    impl->peerCertificates.push_back(derOf(certificate));
            }
        }
        return SSL_set_retry_verify(impl->ssl) ? 1 : 0;
    }

    // Lets through the failures the owner's leniency allows; the verdict
    // stays "verified" only when every failure met was allowed.
    static int verifyCallback(int preverified, X509_STORE_CTX* storeCtx)
    {
        if (preverified)
            return 1;
        SSL* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(storeCtx, SSL_get_ex_data_X509_STORE_CTX_idx()));
        auto* impl = ssl ? static_cast<Impl*>(SSL_get_app_data(ssl)) : nullptr;
        if (!impl)
            return 0;
        const TlsSession::Leniency& lenient = impl->leniency;
        const int error = X509_STORE_CTX_get_error(storeCtx);
        const bool isLeaf = X509_STORE_CTX_get_error_depth(storeCtx) == 0;
        bool allowed = !lenient.validateChain;
        switch (error) {
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        case X509_V_ERR_CERT_UNTRUSTED:
            allowed = allowed || lenient.allowAnyRoot;
            break;
        case X509_V_ERR_CERT_HAS_EXPIRED:
        case X509_V_ERR_CERT_NOT_YET_VALID:
            allowed = allowed || (isLeaf ? lenient.allowExpiredCertificates : lenient.allowExpiredRoots);
            break;
        default:
            break;
        }
        if (!allowed)
            return 0;
        X509_STORE_CTX_set_error(storeCtx, X509_V_OK);
        return 1;
    }

    static int newSessionCallback(SSL* ssl, SSL_SESSION* session)
    {
        auto* impl = static_cast<Impl*>(SSL_get_app_data(ssl));
        if (!impl || !impl->peerID)
            return 0;
        SessionCache::shared().store(*impl->peerID, session);
        return 1;  // the cache keeps the reference
    }

    int32_t statusOf(int ret)
    {
        const int error = SSL_get_error(ssl, ret);
        switch (error) {
        case SSL_ERROR_NONE:
            return kTLSStatusSuccess;
        case SSL_ERROR_WANT_READ:
        case SSL_ERROR_WANT_WRITE:
            return kTLSStatusWouldBlock;
        case SSL_ERROR_WANT_RETRY_VERIFY:
            return kTLSStatusPeerAuthCompleted;
        case SSL_ERROR_ZERO_RETURN:
            return kTLSStatusClosedGraceful;
        case SSL_ERROR_SYSCALL:
            return kTLSStatusClosedAbort;
        default:
            break;
        }
        if (ioAborted)
            return kTLSStatusClosedAbort;
        const unsigned long reason = ERR_peek_last_error();
        if (ERR_GET_LIB(reason) == ERR_LIB_SSL && ERR_GET_REASON(reason) == SSL_R_UNEXPECTED_EOF_WHILE_READING)
            return kTLSStatusClosedAbort;
        const long verifyResult = SSL_get_verify_result(ssl);
        if (verifyResult == X509_V_ERR_HOSTNAME_MISMATCH || verifyResult == X509_V_ERR_IP_ADDRESS_MISMATCH)
            return kTLSStatusHostNameMismatch;
        if (verifyResult != X509_V_OK)
            return kTLSStatusCertChainInvalid;
        return kTLSStatusProtocol;
    }

    void beginCall()
    {
        ERR_clear_error();
        ioAborted = false;
    }
};

TlsSession::TlsSession(bool isServer) : isServer_(isServer), impl_(std::make_unique<Impl>()) {}

TlsSession::~TlsSession() = default;

std::unique_ptr<TlsSession> TlsSession::create(bool isServer)
{
    std::unique_ptr<TlsSession> session(new TlsSession(isServer));
    Impl& impl = *session->impl_;
    if (isServer) {
        impl.ctx = serverContext();
        impl.ownsContext = false;
    } else {
        // A context per client session: it loads the system's trusted roots
        // as they are now (SSL_CERT_FILE and SSL_CERT_DIR are honoured).
        impl.ctx = SSL_CTX_new(TLS_method());
        impl.ownsContext = true;
        if (impl.ctx) {
            SSL_CTX_set_default_verify_paths(impl.ctx);
            SSL_CTX_set_session_cache_mode(impl.ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
            SSL_CTX_sess_set_new_cb(impl.ctx, Impl::newSessionCallback);
        }
    }
    if (!impl.ctx)
        return nullptr;
    impl.ssl = SSL_new(impl.ctx);
    if (!impl.ssl)
        return nullptr;
    SSL_set_app_data(impl.ssl, &impl);
    // The write loop offers the same bytes again after a would-block, but not
    // necessarily at the same address.
    SSL_set_mode(impl.ssl, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (isServer) {
        SSL_set_accept_state(impl.ssl);
        SSL_set_verify(impl.ssl, SSL_VERIFY_NONE, nullptr);
    } else {
        SSL_set_connect_state(impl.ssl);
        // OpenSSL verifies nothing unless asked to.
        SSL_set_verify(impl.ssl, SSL_VERIFY_PEER, nullptr);
    }
    ERR_clear_error();
    return session;
}

bool TlsSession::setIOFuncs(ReadFunction readFunction, WriteFunction writeFunction)
{
    BIO* bio = BIO_new(Impl::bioMethod());
    if (!bio)
        return false;
    BIO_set_data(bio, impl_.get());
    impl_->readFunction = std::move(readFunction);
    impl_->writeFunction = std::move(writeFunction);
    SSL_set_bio(impl_->ssl, bio, bio);
    return true;
}

bool TlsSession::setBreakOnServerAuth()
{
    if (isServer_)
        return false;
    // The callback lives on the client's own context.
    impl_->manualTrust = true;
    SSL_CTX_set_cert_verify_callback(impl_->ctx, Impl::certVerifyCallback, impl_.get());
    return true;
}

bool TlsSession::setPeerDomainName(const std::string& peerName)
{
    impl_->peerName = peerName;
    if (isServer_)
        return true;
    in6_addr scratch{};
    const bool isAddress = inet_pton(AF_INET, peerName.c_str(), &scratch) == 1 ||
                           inet_pton(AF_INET6, peerName.c_str(), &scratch) == 1;
    bool ok;
    if (isAddress) {
        ok = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(impl_->ssl), peerName.c_str()) == 1;
    } else {
        ok = SSL_set1_host(impl_->ssl, peerName.c_str()) == 1 &&
             SSL_set_tlsext_host_name(impl_->ssl, peerName.c_str()) == 1;
    }
    ERR_clear_error();
    return ok;
}

bool TlsSession::setCertificate(const TlsIdentity& identity)
{
    BIO* certificates = BIO_new_mem_buf(identity.certificateChainPem.data(),
                                        static_cast<int>(identity.certificateChainPem.size()));
    BIO* key = BIO_new_mem_buf(identity.privateKeyPem.data(), static_cast<int>(identity.privateKeyPem.size()));
    bool ok = certificates && key;
    X509* leaf = ok ? PEM_read_bio_X509(certificates, nullptr, nullptr, nullptr) : nullptr;
    EVP_PKEY* privateKey = ok ? PEM_read_bio_PrivateKey(key, nullptr, nullptr, nullptr) : nullptr;
    ok = leaf && privateKey && SSL_use_certificate(impl_->ssl, leaf) == 1 &&
         SSL_use_PrivateKey(impl_->ssl, privateKey) == 1 && SSL_check_private_key(impl_->ssl) == 1;
    while (ok) {
        X509* intermediate = PEM_read_bio_X509(certificates, nullptr, nullptr, nullptr);
        if (!intermediate)
            break;
        ok = SSL_add1_chain_cert(impl_->ssl, intermediate) == 1;
        X509_free(intermediate);
    }
    X509_free(leaf);
    EVP_PKEY_free(privateKey);
    BIO_free(certificates);
    BIO_free(key);
    ERR_clear_error();
    return ok;
}

bool TlsSession::setPeerID(const Bytes& peerID)
{
    if (isServer_)
        return true;  // resumption is the client's to ask for
    impl_->peerID = peerID;
    if (SSL_SESSION* session = SessionCache::shared().find(peerID)) {
        SSL_set_session(impl_->ssl, session);
        SSL_SESSION_free(session);
    }
    ERR_clear_error();
    return true;
}

bool TlsSession::setProtocolVersionMin(int64_t version)
{
    if (version == 0)
        return true;
    if (version < kTLSProtocol1 || version > kTLSProtocol13)
        return false;
    const bool ok = SSL_set_min_proto_version(impl_->ssl, static_cast<int>(version)) == 1;
    ERR_clear_error();
    return ok;
}

bool TlsSession::setProtocolVersionMax(int64_t version)
{
    if (version == 0)
        return true;
    if (version < kTLSProtocol1 || version > kTLSProtocol13)
        return false;
    const bool ok = SSL_set_max_proto_version(impl_->ssl, static_cast<int>(version)) == 1;
    ERR_clear_error();
    return ok;
}

bool TlsSession::setEnabledCiphers(const std::vector<int64_t>& cipherSuites)
{
    std::string tls13;
    std::string older;
    for (int64_t code : cipherSuites) {
        if (code < 0 || code > 0xFFFF)
            return false;
        const unsigned char bytes[2] = {static_cast<unsigned char>(code >> 8), static_cast<unsigned char>(code & 0xFF)};
        const SSL_CIPHER* cipher = SSL_CIPHER_find(impl_->ssl, bytes);
        if (!cipher)
            continue;  // a suite this library does not have stays disabled
        std::string& list = (code >> 8) == 0x13 ? tls13 : older;
        if (!list.empty())
            list += ':';
        list += SSL_CIPHER_get_name(cipher);
    }
    if (tls13.empty() && older.empty())
        return false;
    bool ok = SSL_set_ciphersuites(impl_->ssl, tls13.c_str()) == 1;
    // A protocol version left without any suite would fail the handshake
    // instead of being skipped, so the version range shrinks to fit.
    if (ok && !older.empty()) {
        ok = SSL_set_cipher_list(impl_->ssl, older.c_str()) == 1;
        const long max = SSL_get_max_proto_version(impl_->ssl);
        if (ok && tls13.empty() && (max == 0 || max > TLS1_2_VERSION))
            ok = SSL_set_max_proto_version(impl_->ssl, TLS1_2_VERSION) == 1;
    } else if (ok) {
        const long min = SSL_get_min_proto_version(impl_->ssl);
        if (min < TLS1_3_VERSION)
            ok = SSL_set_min_proto_version(impl_->ssl, TLS1_3_VERSION) == 1;
    }
    ERR_clear_error();
    return ok;
}

bool TlsSession::setDiffieHellmanParams(const Bytes& derParameters)
{
    EVP_PKEY* parameters = nullptr;
    OSSL_DECODER_CTX* decoder = OSSL_DECODER_CTX_new_for_pkey(&parameters, "DER", nullptr, "DH",
                                                             OSSL_KEYMGMT_SELECT_DOMAIN_PARAMETERS, nullptr, nullptr);
    bool ok = false;
    if (decoder) {
        const unsigned char* data = derParameters.data();
        size_t length = derParameters.size();
        ok = OSSL_DECODER_from_data(decoder, &data, &length) == 1 && parameters;
        OSSL_DECODER_CTX_free(decoder);
    }
    if (ok) {
        ok = SSL_set0_tmp_dh_pkey(impl_->ssl, parameters) == 1;
        if (!ok)
            EVP_PKEY_free(parameters);
    } else if (parameters) {
        EVP_PKEY_free(parameters);
    }
    ERR_clear_error();
    return ok;
}

bool TlsSession::setLeniency(const Leniency& leniency)
{
    if (isServer_)
        return true;
    impl_->leniency = leniency;
    SSL_set_verify(impl_->ssl, SSL_VERIFY_PEER, Impl::verifyCallback);
    return true;
}

int32_t TlsSession::handshake()
{
    impl_->beginCall();
    const int ret = SSL_do_handshake(impl_->ssl);
    int32_t status = ret == 1 ? kTLSStatusSuccess : impl_->statusOf(ret);
    if (status == kTLSStatusSuccess && !isServer_) {
        // Never call a session secure whose server was not authenticated.
        const bool resumed = SSL_session_reused(impl_->ssl) == 1;
        bool authenticated;
        if (impl_->manualTrust)
            authenticated = impl_->trustAccepted || resumed;
        else
            authenticated = SSL_get0_peer_certificate(impl_->ssl) != nullptr &&
                            SSL_get_verify_result(impl_->ssl) == X509_V_OK;
        if (!authenticated)
            status = kTLSStatusCertChainInvalid;
    }
    ERR_clear_error();
    return status;
}

int32_t TlsSession::read(uint8_t* buffer, size_t length, size_t* processed)
{
    impl_->beginCall();
    *processed = 0;
    const int ret = SSL_read_ex(impl_->ssl, buffer, length, processed);
    const int32_t status = ret == 1 ? kTLSStatusSuccess : impl_->statusOf(ret);
    ERR_clear_error();
    return status;
}

int32_t TlsSession::write(const uint8_t* buffer, size_t length, size_t* processed)
{
    impl_->beginCall();
    *processed = 0;
    const int ret = SSL_write_ex(impl_->ssl, buffer, length, processed);
    const int32_t status = ret == 1 ? kTLSStatusSuccess : impl_->statusOf(ret);
    ERR_clear_error();
    return status;
}

size_t TlsSession::bufferedReadSize() const
{
    const int pending = SSL_pending(impl_->ssl);
    return pending > 0 ? static_cast<size_t>(pending) : 0;
}

std::shared_ptr<GCDAsyncSocketTrust> TlsSession::copyPeerTrust(int32_t* status) const
{
    if (impl_->peerCertificates.empty()) {
        if (status)
            *status = kTLSStatusProtocol;
        return nullptr;
    }
    if (status)
        *status = kTLSStatusSuccess;
    return std::make_shared<GCDAsyncSocketTrust>(impl_->peerCertificates, impl_->peerName);
}

void TlsSession::trustPeer()
{
    impl_->trustAccepted = true;
}

void TlsSession::close()
{
    if (!impl_->ssl)
        return;
    impl_->beginCall();
    if (SSL_is_init_finished(impl_->ssl))
        SSL_shutdown(impl_->ssl);
    ERR_clear_error();
    // The socket is going away: the session must not call back into it.
    impl_->readFunction = nullptr;
    impl_->writeFunction = nullptr;
}

void* TlsSession::nativeHandle() const
{
    return impl_->ssl;
}

}  // namespace orv
