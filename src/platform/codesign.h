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
    Other
};

struct TrustResult {
    TrustVerdict verdict = TrustVerdict::Other;
    uint32_t code = 0; // the platform's own result, for the Other case
};

TrustResult checkFileTrust(const std::wstring& path);

// The signer certificate's subject name; false when none could be read.
[[nodiscard]] bool readFileSignerName(const std::wstring& path, std::string& name);

// Empty where the signature is inside the build; otherwise the suffix of the
// signature file, both beside the build on disk and beside its download URL.
extern const char* const DetachedSignatureSuffix;

// The service path of the manifest that describes this platform's build.
extern const char* const UpdateManifestPath;

} // namespace korvane
