#pragma once
// Small text helpers shared by the start-up dialogue, the update and the setup.
#include <string>

namespace korvane {

// Strips every leading and trailing isspace character.
std::string trimSpace(const std::string& text);

// Text from outside (a server, the game, a file name, what the user typed),
// made safe to print: every C0 and C1 control character and DEL becomes "?",
// as does every byte that is not part of well-formed UTF-8, and a tab a
// space, so the text can neither move the cursor, retitle the window, clear
// the screen nor start a line of its own that looks like ours.
// `keepLineFeeds`: for text shown whole, whose lines are its own (the game's
// answers in the dump).
std::string shownText(const std::string& text, bool keepLineFeeds = false);

// The same rule for wide text (object names, paths).
std::wstring shownText(const std::wstring& text);

} // namespace korvane
