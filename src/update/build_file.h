#pragma once
// What a downloaded build says about itself, read from its bytes without
// running it: a Windows program's version resource, a Linux program's
// version section.
#include <string>

namespace korvane {

// The build's own version ("2.1.30"; a fourth number only when it is not
// 0), or empty when the bytes carry none that can be read.
std::string readBuildVersion(const std::string& bytes);

// True when two versions name the same build: every number equal, a missing
// number counting as 0.
bool sameVersion(const std::string& a, const std::string& b);

} // namespace korvane
