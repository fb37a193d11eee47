#pragma once
// Small text helpers shared by the start-up dialogue, the update and the setup.
#include <string>

namespace korvane {

// Strips every leading and trailing isspace character.
std::string trimSpace(const std::string& text);

// Text from outside (a server, the game), made safe to print: every C0 and
// C1 control character and DEL becomes "?", a tab a space, so the text can
// neither move the cursor, retitle the window, clear the screen nor start a
// line of its own that looks like ours. `keepLineFeeds`: for text shown
// whole, whose lines are its own (the game's answers in the dump).
std::string shownText(const std::string& text, bool keepLineFeeds = false);

} // namespace korvane
