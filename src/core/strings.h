#pragma once
// Small text helpers shared by the start-up dialogue and the update note.
#include <string>

namespace korvane {

// Strips every leading and trailing isspace character.
std::string trimSpace(const std::string& text);

} // namespace korvane
