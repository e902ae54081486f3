#include "core/sockets/GCDAsyncSocketTrust.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

namespace orv {

GCDAsyncSocketTrust::GCDAsyncSocketTrust(std::vector<Bytes> certificatesDer, std::string peerName)
    : certificates_(std::move(certificatesDer)), peerName_(std::move(peerName))
{
}

bool GCDAsyncSocketTrust::evaluate(std::string* failureReason, const std::string& extraRootsPem) const
{
    auto fail = [&](std::string reason) {
        if (failureReason)
            *failureReason = std::move(reason);
        ERR_clear_error();
        return false;
    };
    if (certificates_.empty())
        return fail("no certificate");

    X509_STORE* store = X509_STORE_new();
    STACK_OF(X509)* untrusted = sk_X509_new_null();
    X509* leaf = nullptr;
    X509_STORE_CTX* ctx = X509_STORE_CTX_new();
    auto cleanup = [&] {
        X509_STORE_CTX_free(ctx);
        X509_free(leaf);
        sk_X509_pop_free(untrusted, X509_free);
        X509_STORE_free(store);
    };
    if (!store || !untrusted || !ctx) {
        cleanup();
        return fail("out of memory");
    }

    X509_STORE_set_default_paths(store);
    if (!extraRootsPem.empty()) {
        BIO* bio = BIO_new_mem_buf(extraRootsPem.data(), static_cast<int>(extraRootsPem.size()));
        while (X509* root = bio ? PEM_read_bio_X509(bio, nullptr, nullptr, nullptr) : nullptr) {
            X509_STORE_add_cert(store, root);
            X509_free(root);
        }
        BIO_free(bio);
    }

    for (size_t i = 0; i < certificates_.size(); ++i) {
        const unsigned char* p = certificates_[i].data();
        X509* certificate = d2i_X509(nullptr, &p, static_cast<long>(certificates_[i].size()));
        if (!certificate) {
            cleanup();
            return fail("malformed certificate");
        }
        if (i == 0)
            leaf = certificate;
        else
            sk_X509_push(untrusted, certificate);
    }

    X509_STORE_CTX_init(ctx, store, leaf, untrusted);
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(ctx);
    X509_VERIFY_PARAM_set_purpose(param, X509_PURPOSE_SSL_SERVER);
    if (!peerName_.empty()) {
        in6_addr scratch{};
        if (inet_pton(AF_INET, peerName_.c_str(), &scratch) == 1 || inet_pton(AF_INET6, peerName_.c_str(), &scratch) == 1)
            X509_VERIFY_PARAM_set1_ip_asc(param, peerName_.c_str());
        else
            X509_VERIFY_PARAM_set1_host(param, peerName_.c_str(), 0);
    }
    const bool ok = X509_verify_cert(ctx) == 1;
    std::string reason = ok ? std::string() : X509_verify_cert_error_string(X509_STORE_CTX_get_error(ctx));
    cleanup();
    if (!ok)
        return fail(reason);
    ERR_clear_error();
    return true;
}

}  // namespace orv
