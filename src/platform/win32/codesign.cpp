#include "platform/codesign.h"

#include "platform/crypto.h"
#include "platform/text.h"

#include "platform/win32/system_library.h"

#include <windows.h>

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstring>
#include <string>
#include <vector>

namespace korvane {

const char* const DetachedSignatureSuffix = "";
const char* const UpdateManifestPath = "/companion-latest.json";

namespace {

TrustVerdict verdictOf(uint32_t code) {
    static const struct {
        uint32_t code;
        TrustVerdict verdict;
    } verdicts[] = {{0, TrustVerdict::Trusted},
                    {0x800B0100, TrustVerdict::NotSigned},            // TRUST_E_NOSIGNATURE
                    {0x80096010, TrustVerdict::ModifiedAfterSigning}, // TRUST_E_BAD_DIGEST
                    {0x80091007, TrustVerdict::ModifiedAfterSigning}, // CRYPT_E_HASH_VALUE
                    {0x80090006, TrustVerdict::ModifiedAfterSigning}, // NTE_BAD_SIGNATURE
                    {0x800B0109, TrustVerdict::UntrustedSigner},      // CERT_E_UNTRUSTEDROOT
                    {0x800B010A, TrustVerdict::UntrustedSigner},      // CERT_E_CHAINING
                    {0x800B0101, TrustVerdict::Expired},              // CERT_E_EXPIRED
                    {0x800B0110, TrustVerdict::WrongUsage}};          // CERT_E_WRONG_USAGE
    for (const auto& v : verdicts)
        if (v.code == code) return v.verdict;
    return TrustVerdict::Other;
}

// The certificate's common name read with the wide API, so a name beyond the
// code page, or one holding a zero, is read whole; empty when it has none
// (the display name would fall back on the organisation's).
std::string signerName(PCCERT_CONTEXT cert) {
    void* commonName = const_cast<char*>(szOID_COMMON_NAME);
    DWORD len =
        CRYPT32_CALL(CertGetNameStringW)(cert, CERT_NAME_ATTR_TYPE, 0, commonName, nullptr, 0);
    if (len <= 1) return {};
    std::wstring text(len, L'\0');
    len = CRYPT32_CALL(CertGetNameStringW)(cert, CERT_NAME_ATTR_TYPE, 0, commonName, text.data(),
                                           len);
    text.resize(len > 0 ? len - 1 : 0);
    return wideToUtf8(text);
}

// The certificate's public key as the DER SubjectPublicKeyInfo it holds.
std::string signerKey(PCCERT_CONTEXT cert) {
    CERT_PUBLIC_KEY_INFO* key = &cert->pCertInfo->SubjectPublicKeyInfo;
    DWORD len = 0;
    if (!CRYPT32_CALL(CryptEncodeObject)(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, key, nullptr,
                                         &len))
        return {};
    std::string der(len, '\0');
    if (!CRYPT32_CALL(CryptEncodeObject)(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, key,
                                         reinterpret_cast<BYTE*>(der.data()), &len))
        return {};
    der.resize(len);
    return der;
}

// Whether the digest the signer signed (its messageDigest attribute) is the
// SHA-256 of these very bytes. The signature check covers this too, but not
// every implementation of it compares the content of a detached signature.
bool signedDigestMatches(const std::string& signature, const std::string& content) {
    HCRYPTMSG msg = CRYPT32_CALL(CryptMsgOpenToDecode)(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING,
                                                       CMSG_DETACHED_FLAG, 0, 0, nullptr, nullptr);
    if (!msg) return false;
    bool matches = false;
    DWORD size = 0;
    if (CRYPT32_CALL(CryptMsgUpdate)(msg, reinterpret_cast<const BYTE*>(signature.data()),
                                     DWORD(signature.size()), TRUE) &&
        CRYPT32_CALL(CryptMsgGetParam)(msg, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size)) {
        std::vector<BYTE> buf(size);
        const auto* info = reinterpret_cast<const CMSG_SIGNER_INFO*>(buf.data());
        bool sha256 =
            CRYPT32_CALL(CryptMsgGetParam)(msg, CMSG_SIGNER_INFO_PARAM, 0, buf.data(), &size) &&
            std::strcmp(info->HashAlgorithm.pszObjId, szOID_NIST_sha256) == 0;
        unsigned char digest[32];
        sha256 = sha256 && sha256Digest(content.data(), content.size(), digest);
        for (DWORD i = 0; sha256 && i < info->AuthAttrs.cAttr; ++i) {
            const CRYPT_ATTRIBUTE& attr = info->AuthAttrs.rgAttr[i];
            if (std::strcmp(attr.pszObjId, szOID_PKCS_9_MESSAGE_DIGEST) != 0 || attr.cValue != 1)
                continue;
            DWORD length = 0;
            if (!CRYPT32_CALL(CryptDecodeObject)(X509_ASN_ENCODING, X509_OCTET_STRING,
                                                 attr.rgValue[0].pbData, attr.rgValue[0].cbData, 0,
                                                 nullptr, &length))
                break;
            std::vector<BYTE> octets(length);
            if (!CRYPT32_CALL(CryptDecodeObject)(X509_ASN_ENCODING, X509_OCTET_STRING,
                                                 attr.rgValue[0].pbData, attr.rgValue[0].cbData, 0,
                                                 octets.data(), &length))
                break;
            const auto* blob = reinterpret_cast<const CRYPT_DATA_BLOB*>(octets.data());
            matches = blob->cbData == 32 && std::memcmp(blob->pbData, digest, 32) == 0;
            break;
        }
    }
    CRYPT32_CALL(CryptMsgClose)(msg);
    return matches;
}

} // namespace

TrustResult checkFileTrust(const std::wstring& path, const std::string& /*authorityPem*/) {
    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = path.c_str();
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG result =
        WINTRUST_CALL(WinVerifyTrust)(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    TrustResult r;
    r.code = uint32_t(result);
    r.verdict = verdictOf(r.code);
    if (r.verdict == TrustVerdict::Trusted) {
        // The name of the signer this very check verified, not of whatever
        // certificate a second look at the file would find first.
        CRYPT_PROVIDER_DATA* provider =
            WINTRUST_CALL(WTHelperProvDataFromStateData)(data.hWVTStateData);
        CRYPT_PROVIDER_SGNR* signer =
            provider ? WINTRUST_CALL(WTHelperGetProvSignerFromChain)(provider, 0, FALSE, 0)
                     : nullptr;
        if (signer && signer->csCertChain > 0 && signer->pasCertChain) {
            r.signer = signerName(signer->pasCertChain[0].pCert);
            r.signerKey = signerKey(signer->pasCertChain[0].pCert);
        }
    }
    // The check keeps state until it is closed, whatever it answered.
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WINTRUST_CALL(WinVerifyTrust)(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return r;
}

namespace {

// The signer's chain, built with the certificates the signature carries, must
// end at a trusted root and allow code signing all along.
TrustResult chainTrust(PCCERT_CONTEXT signer) {
    TrustResult r;
    LPSTR codeSigning = const_cast<LPSTR>(szOID_PKIX_KP_CODE_SIGNING);
    CERT_CHAIN_PARA chainPara{};
    chainPara.cbSize = sizeof chainPara;
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = &codeSigning;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!CRYPT32_CALL(CertGetCertificateChain)(nullptr, signer, nullptr, signer->hCertStore,
                                               &chainPara, 0, nullptr, &chain)) {
        r.code = uint32_t(GetLastError());
        r.verdict = TrustVerdict::Other;
    } else {
        CERT_CHAIN_POLICY_PARA policyPara{};
        policyPara.cbSize = sizeof policyPara;
        CERT_CHAIN_POLICY_STATUS status{};
        status.cbSize = sizeof status;
        if (!CRYPT32_CALL(CertVerifyCertificateChainPolicy)(CERT_CHAIN_POLICY_BASE, chain,
                                                            &policyPara, &status))
            status.dwError = GetLastError();
        r.code = uint32_t(status.dwError);
        r.verdict = verdictOf(r.code);
        if (r.verdict == TrustVerdict::Trusted &&
            (chain->TrustStatus.dwErrorStatus & CERT_TRUST_IS_NOT_VALID_FOR_USAGE))
            r.verdict = TrustVerdict::WrongUsage;
        if (r.verdict == TrustVerdict::Trusted) {
            r.signer = signerName(signer);
            r.signerKey = signerKey(signer);
        }
        CRYPT32_CALL(CertFreeCertificateChain)(chain);
    }
    return r;
}

} // namespace

TrustResult checkDetachedTrust(const std::string& content, const std::string& signature,
                               const std::string& /*authorityPem*/) {
    TrustResult r;
    if (signature.empty()) {
        r.verdict = TrustVerdict::NotSigned;
        return r;
    }
    CRYPT_VERIFY_MESSAGE_PARA para{};
    para.cbSize = sizeof para;
    para.dwMsgAndCertEncodingType = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
    const BYTE* parts[] = {reinterpret_cast<const BYTE*>(content.data())};
    DWORD sizes[] = {DWORD(content.size())};
    PCCERT_CONTEXT signer = nullptr;
    if (!CRYPT32_CALL(CryptVerifyDetachedMessageSignature)(
            &para, 0, reinterpret_cast<const BYTE*>(signature.data()), DWORD(signature.size()), 1,
            parts, sizes, &signer)) {
        r.code = uint32_t(GetLastError());
        r.verdict = verdictOf(r.code);
        if (r.verdict == TrustVerdict::Trusted) r.verdict = TrustVerdict::Other;
        if (signer) CRYPT32_CALL(CertFreeCertificateContext)(signer);
        return r;
    }
    if (!signedDigestMatches(signature, content)) {
        CRYPT32_CALL(CertFreeCertificateContext)(signer);
        r.code = 0x80091007; // CRYPT_E_HASH_VALUE
        r.verdict = TrustVerdict::ModifiedAfterSigning;
        return r;
    }
    r = chainTrust(signer);
    CRYPT32_CALL(CertFreeCertificateContext)(signer);
    return r;
}

} // namespace korvane
