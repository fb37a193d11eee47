#include "platform/codesign.h"

#include "platform/files.h"
#include "platform/text.h"

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace korvane {

const char* const DetachedSignatureSuffix = ".p7s";
const char* const UpdateManifestPath = "/companion-latest-linux.json";

namespace {

// A signature is a few kilobytes, a build tens of megabytes.
constexpr size_t SignatureFileLimit = 1 << 20;
constexpr size_t SignedFileLimit = size_t(512) << 20;

// The same bundle the HTTPS client trusts.
constexpr const char* TrustBundle = "/etc/ssl/certs/ca-certificates.crt";

CMS_ContentInfo* parseSignature(const std::string& der) {
    BIO* in = BIO_new_mem_buf(der.data(), int(der.size()));
    CMS_ContentInfo* cms = in ? d2i_CMS_bio(in, nullptr) : nullptr;
    BIO_free(in);
    return cms;
}

TrustResult other(uint32_t code) {
    return {TrustVerdict::Other, code ? code : 1, {}};
}

// The authorities a signature may chain to: the one compiled into the
// program when there is one (a pinned intermediate will do), else the
// bundle the HTTPS client trusts. Null when none could be loaded.
X509_STORE* trustStore(const std::string& authorityPem) {
    X509_STORE* store = X509_STORE_new();
    if (!store) return nullptr;
    if (authorityPem.empty()) {
        if (X509_STORE_load_file(store, TrustBundle) == 1) return store;
        X509_STORE_free(store);
        return nullptr;
    }
    BIO* in = BIO_new_mem_buf(authorityPem.data(), int(authorityPem.size()));
    int loaded = 0;
    while (X509* cert = in ? PEM_read_bio_X509(in, nullptr, nullptr, nullptr) : nullptr) {
        loaded += X509_STORE_add_cert(store, cert) == 1;
        X509_free(cert);
    }
    BIO_free(in);
    ERR_clear_error(); // the read that found no further certificate
    X509_STORE_set_flags(store, X509_V_FLAG_PARTIAL_CHAIN);
    if (loaded) return store;
    X509_STORE_free(store);
    return nullptr;
}

// Whether a certificate's extended key usage lets it take part in signing
// code: the signer must name code signing; any other certificate of the
// chain may name nothing, but what it names must include code signing.
bool mayTakePartInCodeSigning(X509* cert, bool isSigner) {
    bool named = X509_get_extension_flags(cert) & EXFLAG_XKUSAGE;
    uint32_t usage = X509_get_extended_key_usage(cert);
    if (isSigner) return named && (usage & XKU_CODE_SIGN);
    return !named || (usage & (XKU_CODE_SIGN | XKU_ANYEKU));
}

// The signer's chain against the trusted authorities, the way Windows
// judges an Authenticode signer: a root outside them is untrusted, and every
// certificate of the chain must be one that may sign code.
TrustResult checkSigner(CMS_ContentInfo* cms, X509* signer, const std::string& authorityPem) {
    X509_STORE* store = trustStore(authorityPem);
    if (!store) return other(uint32_t(ERR_get_error()));
    STACK_OF(X509)* untrusted = CMS_get1_certs(cms);
    X509_STORE_CTX* ctx = X509_STORE_CTX_new();
    TrustResult r{TrustVerdict::Trusted, 0, {}};
    if (!ctx || X509_STORE_CTX_init(ctx, store, signer, untrusted) != 1) {
        r = other(uint32_t(ERR_get_error()));
    } else if (X509_verify_cert(ctx) != 1) {
        int err = X509_STORE_CTX_get_error(ctx);
        switch (err) {
        case X509_V_ERR_CERT_HAS_EXPIRED:
            r = {TrustVerdict::Expired, uint32_t(err), {}};
            break;
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_CERT_UNTRUSTED:
            r = {TrustVerdict::UntrustedSigner, uint32_t(err), {}};
            break;
        default:
            r = other(uint32_t(err));
        }
    } else {
        STACK_OF(X509)* chain = X509_STORE_CTX_get0_chain(ctx);
        for (int i = 0; chain && i < sk_X509_num(chain); ++i)
            if (!mayTakePartInCodeSigning(sk_X509_value(chain, i), i == 0)) {
                r = {TrustVerdict::WrongUsage, uint32_t(X509_V_ERR_INVALID_PURPOSE), {}};
                break;
            }
    }
    X509_STORE_CTX_free(ctx);
    sk_X509_pop_free(untrusted, X509_free);
    X509_STORE_free(store);
    return r;
}

// The certificate's public key as the DER SubjectPublicKeyInfo it holds.
std::string publicKeyOf(X509* cert) {
    unsigned char* der = nullptr;
    int n = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(cert), &der);
    std::string key = n > 0 ? std::string(reinterpret_cast<char*>(der), size_t(n)) : std::string();
    OPENSSL_free(der);
    return key;
}

// The common name of the signer's certificate; empty when it has none.
std::string commonName(X509* cert) {
    char buf[256];
    int n = X509_NAME_get_text_by_NID(X509_get_subject_name(cert), NID_commonName, buf, sizeof buf);
    return n > 0 ? std::string(buf, size_t(n)) : std::string();
}

} // namespace

TrustResult checkDetachedTrust(const std::string& content, const std::string& signature,
                               const std::string& authorityPem) {
    ERR_clear_error();
    CMS_ContentInfo* cms = parseSignature(signature);
    if (!cms) return {TrustVerdict::NotSigned, 0, {}};
    BIO* data = BIO_new_mem_buf(content.data(), int(content.size()));
    // First the content against the signature alone; the chain is judged
    // separately so each refusal has its own reason.
    TrustResult r{TrustVerdict::Trusted, 0, {}};
    if (CMS_verify(cms, nullptr, nullptr, data, nullptr, CMS_BINARY | CMS_NO_SIGNER_CERT_VERIFY) !=
        1) {
        unsigned long e = ERR_peek_last_error();
        r = ERR_GET_REASON(e) == CMS_R_VERIFICATION_FAILURE ||
                    ERR_GET_REASON(e) == CMS_R_CONTENT_VERIFY_ERROR
                ? TrustResult{TrustVerdict::ModifiedAfterSigning, uint32_t(e), {}}
                : other(uint32_t(e));
    } else {
        STACK_OF(X509)* signers = CMS_get0_signers(cms);
        if (!signers || sk_X509_num(signers) < 1) {
            r = other(uint32_t(ERR_get_error()));
        } else {
            X509* signer = sk_X509_value(signers, 0);
            r = checkSigner(cms, signer, authorityPem);
            if (r.verdict == TrustVerdict::Trusted) {
                r.signer = commonName(signer);
                r.signerKey = publicKeyOf(signer);
            }
        }
        sk_X509_free(signers);
    }
    BIO_free(data);
    CMS_ContentInfo_free(cms);
    ERR_clear_error();
    return r;
}

TrustResult checkFileTrust(const std::wstring& path, const std::string& authorityPem) {
    std::string signature, content;
    if (!readFileBytes(path + utf8ToWide(DetachedSignatureSuffix), signature, SignatureFileLimit))
        return {TrustVerdict::NotSigned, 0, {}};
    if (!readFileBytes(path, content, SignedFileLimit)) return other(0);
    return checkDetachedTrust(content, signature, authorityPem);
}

} // namespace korvane
