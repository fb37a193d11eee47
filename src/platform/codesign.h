#pragma once
// Code signatures of downloaded builds, as the platform checks them: an
// embedded Authenticode signature on Windows, a detached CMS signature in a
// file beside the build elsewhere.
#include <cstdint>
#include <string>

namespace korvane {

enum class TrustVerdict {
    Trusted,
    NotSigned,
    ModifiedAfterSigning,
    UntrustedSigner,
    Expired,
    WrongUsage, // a certificate of the chain may not sign code
    Other
};

struct TrustResult {
    TrustVerdict verdict = TrustVerdict::Other;
    uint32_t code = 0;  // the platform's own result, for the Other case
    std::string signer; // Trusted: the common name of the signer the check verified (UTF-8)
    std::string signerKey; // Trusted: the signer's public key (SubjectPublicKeyInfo, DER)
};

// `authorityPem`, where not empty, is the one authority trusted for the
// signature in place of the system's; only where the platform judges the
// chain itself (not on Windows, whose own policy decides).
TrustResult checkFileTrust(const std::wstring& path, const std::string& authorityPem);

// A detached CMS signature (DER) over exactly the bytes of `content`, judged
// as a build's signature is: the same verdicts, the same authorities.
TrustResult checkDetachedTrust(const std::string& content, const std::string& signature,
                               const std::string& authorityPem);

// Empty where the signature is inside the build; otherwise the suffix of the
// signature file, both beside the build on disk and beside its download URL.
extern const char* const DetachedSignatureSuffix;

// The service path of the manifest that describes this platform's build.
extern const char* const UpdateManifestPath;

} // namespace korvane
