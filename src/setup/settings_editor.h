#pragma once
// Switching the telemetry plugin on in the game's CustomPluginVariables.JSON.
// The file is edited as bytes with a few plain searches, never parsed, and
// left alone whenever it does not look as expected.
#include <string>

namespace korvane {

// The edit itself: sets the plugin's Enabled value to 1, or adds the plugin's
// section. False: `content` is unchanged and `error` says why.
[[nodiscard]] bool editPluginSettings(std::string& content, std::string& error);

// Backs the file up beside itself (when it has content), edits it, and puts
// the result in place only once it is completely written. False: the file is
// as it was and `error` says why.
[[nodiscard]] bool enablePluginInSettings(const std::string& settingsPath, std::string& error);

} // namespace korvane
