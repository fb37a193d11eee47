#pragma once
// Whether a downloaded build carries a valid signature from the expected signer.
#include <string>

namespace korvane {

// The signer an update must carry and how its name is compared.
struct SignerRule {
    std::string name;   // empty: no signature is asked for
    bool exact = false; // whole name, same letter case; else a substring
};

// The rule for one update: the signer pinned in this build whenever there
// is one, whatever the manifest names (or leaves out); else the manifest's.
SignerRule signerRule(const std::string& manifestSigner);

// True: trusted, and the signer's name matches the rule (any name when the
// rule names none). False: reason says why, and what was expected when the
// signer is pinned.
[[nodiscard]] bool verifySignature(const std::wstring& path, const SignerRule& rule,
                                   std::string& reason);

// The same for a detached signature (DER) over exactly `content`, such as a
// manifest's.
[[nodiscard]] bool verifyDetachedSignature(const std::string& content, const std::string& signature,
                                           const SignerRule& rule, std::string& reason);

} // namespace korvane
