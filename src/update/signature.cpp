#include "update/signature.h"

#include "platform/codesign.h"

#include <cstdio>

namespace korvane {

bool readSignerName(const std::wstring& path, std::string& name) {
    return readFileSignerName(path, name);
}

namespace {

// Why the platform refused the file; empty when it trusts it.
std::string refusalReason(const TrustResult& trust) {
    switch (trust.verdict) {
    case TrustVerdict::Trusted:
        return {};
    case TrustVerdict::NotSigned:
        return "not signed";
    case TrustVerdict::ModifiedAfterSigning:
        return "modified after signing";
    case TrustVerdict::UntrustedSigner:
        return "signer is not trusted";
    case TrustVerdict::Expired:
        return "signing certificate expired";
    case TrustVerdict::Other:
        break;
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", unsigned(trust.code));
    return std::string("signature invalid (0x") + hex + ")";
}

} // namespace

bool verifySignature(const std::wstring& path, const std::string& expected, std::string& reason) {
    std::string refused = refusalReason(checkFileTrust(path));
    if (!refused.empty()) {
        reason = refused;
        return false;
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
