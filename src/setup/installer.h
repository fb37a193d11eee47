#pragma once
// The offer to install the telemetry plugin and switch it on.
#include <cstdint>
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

// Whether a signed plugin manifest is current: it names its "version" and the
// day it "expires" (YYYY-MM-DD, UTC), that day has not begun at `now`
// (seconds since 1970), and its version is not older than `lastAccepted`, the
// version of the last one this machine took (empty for none). Else false,
// with the reason. A service that was broken into cannot put back an older
// signed manifest, whose plugin may have a known flaw.
bool pluginManifestCurrent(const std::string& manifest, const std::string& lastAccepted,
                           int64_t now, std::string& reason);

} // namespace korvane
