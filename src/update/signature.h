#pragma once
// Whether a downloaded build carries a valid signature from the expected signer.
#include <string>

namespace korvane {

// True: trusted, and the signer's name contains `expected` (exact,
// case-sensitive) unless `expected` is empty. False: reason says why.
[[nodiscard]] bool verifySignature(const std::wstring& path, const std::string& expected,
                                   std::string& reason);

// The signer's certificate subject name; true when one was read.
[[nodiscard]] bool readSignerName(const std::wstring& path, std::string& name);

} // namespace korvane
