#pragma once
// The update manifest and the small text routines the plugin installer
// shares: a field scanner, the version parser and the URL splitter.
#include "platform/text.h"

#include <string>
#include <vector>

namespace korvane {

// The text between the two quotes that follow "key" and its colon; no escapes,
// so a value ends at its first quote. Empty when the field is not there.
std::string manifestField(const std::string& text, const std::string& key);

// Every byte in lower case (ASCII letters only).
std::string lowerAscii(std::string text);

// Dotted numbers, digits only within each piece, padded to at least three.
std::vector<long> parseVersion(const std::string& text);

// True when `offered` is newer than `running` in its first three numbers.
bool isNewerVersion(const std::string& offered, const std::string& running);

// The address of a build's detached signature: its path with `suffix` added
// before any query or fragment.
std::wstring signaturePath(const std::wstring& path, const std::string& suffix);

// Splits "https://host/path" into host and path; refuses anything else.
[[nodiscard]] bool splitHttpsUrl(const std::string& url, std::wstring& host, std::wstring& path);

} // namespace korvane
