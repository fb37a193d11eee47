#pragma once
// The offer to install the telemetry plugin and switch it on.
#include <iosfwd>
#include <string>

namespace korvane {

// The dialogue: downloads the plugin into the game's Plugins folder (when
// `withDownload`), hash-checked against the service's plugin manifest, then
// enables it in the settings file. True when the installation changed; false
// when the user declined or a step failed, with the reason printed. The end
// of input counts as a "no": nothing is installed without an answer.
bool offerPluginInstall(const std::string& gameFolder, bool withDownload, std::istream& in,
                        std::ostream& out);
bool offerPluginInstall(const std::string& gameFolder, bool withDownload);

} // namespace korvane
