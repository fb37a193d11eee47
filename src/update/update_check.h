#pragma once
// The start-up update check: manifest, version comparison, the user's
// consent, download and digest, then the staged replacement.
#include <iosfwd>

namespace korvane {

// True when a replacement has been staged and handed over: the caller must
// end the process now. Reads the answer from `in`, writes to `out`.
[[nodiscard]] bool checkForUpdate(std::istream& in, std::ostream& out);
[[nodiscard]] bool checkForUpdate();

} // namespace korvane
