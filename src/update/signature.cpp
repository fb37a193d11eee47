#include "update/signature.h"

#include "platform/codesign.h"

#include <cstdio>

namespace korvane {

bool readSignerName(const std::wstring& path, std::string& name) {
    return readFileSignerName(path, name);
}

bool verifySignature(const std::wstring& path, const std::string& expected, std::string& reason) {
    TrustResult trust = checkFileTrust(path);
    switch (trust.verdict) {
    case TrustVerdict::Trusted:
        break;
    case TrustVerdict::NotSigned:
        reason = "not signed";
        return false;
    case TrustVerdict::ModifiedAfterSigning:
        reason = "modified after signing";
        return false;
    case TrustVerdict::UntrustedSigner:
        reason = "signer is not trusted";
        return false;
    case TrustVerdict::Expired:
        reason = "signing certificate expired";
        return false;
    case TrustVerdict::Other: {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%X", unsigned(trust.code));
        reason = std::string("signature invalid (0x") + hex + ")";
        return false;
    }
    }
    std::string name;
    if (!readSignerName(path, name)) {
        reason = "could not read the signer";
        return false;
    }
    if (expected.empty() || name.find(expected) != std::string::npos) return true;
    reason = "signed by \"" + name + "\", expected \"" + expected + "\"";
    return false;
}

} // namespace korvane
