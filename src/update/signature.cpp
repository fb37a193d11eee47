#include "update/signature.h"

#include "core/build_info.h"
#include "platform/codesign.h"
#include "update/download.h"

#include <cstdio>

namespace korvane {

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
    case TrustVerdict::WrongUsage:
        return "a certificate of the signer's chain may not sign code";
    case TrustVerdict::Other:
        break;
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", unsigned(trust.code));
    return std::string("signature invalid (0x") + hex + ")";
}

} // namespace

SignerRule signerRule(const std::string& manifestSigner) {
    if (*PinnedSigner) return {PinnedSigner, true};
    return {manifestSigner, false};
}

namespace {

// Whether a checked signature passes the rule; `what` names the signed thing
// in the reason, for a pinned signer.
bool passes(const TrustResult& trust, const SignerRule& rule, const char* what,
            std::string& reason) {
    std::string refused = refusalReason(trust);
    if (!refused.empty()) {
        reason = refused;
        if (rule.exact)
            reason += std::string(", expected ") + what + " signed by \"" + rule.name + "\"";
        return false;
    }
    if (trust.signer.empty()) {
        reason = "could not read the signer";
        return false;
    }
    const std::string& name = trust.signer;
    bool matches = rule.exact ? name == rule.name : name.find(rule.name) != std::string::npos;
    if (!rule.name.empty() && !matches) {
        reason = "signed by \"" + name + "\", expected \"" + rule.name + "\"";
        return false;
    }
    // Any authority may issue a certificate in the publisher's name: only
    // the publisher's own key is the publisher.
    if (*PinnedKeySha256 && sha256Hex(trust.signerKey) != PinnedKeySha256) {
        reason = "signed by \"" + name + "\" with a key that is not the publisher's";
        return false;
    }
    return true;
}

} // namespace

bool verifySignature(const std::wstring& path, const SignerRule& rule, std::string& reason) {
    return passes(checkFileTrust(path, PinnedAuthorityPem), rule, "a build", reason);
}

bool verifyDetachedSignature(const std::string& content, const std::string& signature,
                             const SignerRule& rule, std::string& reason) {
    return passes(checkDetachedTrust(content, signature, PinnedAuthorityPem), rule, "a manifest",
                  reason);
}

} // namespace korvane
