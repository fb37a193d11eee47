#pragma once
// Small text helpers shared by the start-up dialogue, the update and the setup.
#include <string>

namespace korvane {

// Strips every leading and trailing isspace character.
std::string trimSpace(const std::string& text);

// Text from a server, made safe to print: every control character but line
// feed and tab (and DEL) becomes "?", so an answer can neither move the
// cursor, clear the screen nor start a line of its own that looks like ours.
std::string shownText(std::string text);

} // namespace korvane
