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
    uint32_t code = 0; // the platform's own result, for the Other case
};

// `authorityPem`, where not empty, is the one authority trusted for the
// signature in place of the system's; only where the platform judges the
// chain itself (not on Windows, whose own policy decides).
TrustResult checkFileTrust(const std::wstring& path, const std::string& authorityPem);

// The signer certificate's subject name; false when none could be read.
[[nodiscard]] bool readFileSignerName(const std::wstring& path, std::string& name);

// Empty where the signature is inside the build; otherwise the suffix of the
// signature file, both beside the build on disk and beside its download URL.
extern const char* const DetachedSignatureSuffix;

// The service path of the manifest that describes this platform's build.
extern const char* const UpdateManifestPath;

} // namespace korvane
