#include "setup/installer.h"

#include "core/build_info.h"
#include "core/strings.h"
#include "platform/files.h"
#include "platform/machine.h"
#include "setup/discovery.h"
#include "setup/settings_editor.h"
#include "update/download.h"
#include "update/manifest.h"
#include "update/signature.h"

#include <ctime>
#include <iostream>

namespace korvane {

namespace {

constexpr size_t MinimumPluginSize = 1024;

void printManifestStart(std::ostream& out, const std::string& manifest, size_t limit) {
    out << "  Server returned: " << shownText(manifest.substr(0, limit))
        << (manifest.size() > limit ? "..." : "") << "\n  Install the plugin by hand.\n\n";
}

// Whether the plugin manifest carries the pinned publisher's signature
// over its exact bytes; says why not.
bool manifestSigned(const std::string& manifest, std::ostream& out) {
    std::string signature, error, reason;
    if (!httpsGet(ServiceHost, L"/plugin-latest.json.p7s", signature, error, ManifestLimit)) {
        out << " manifest signature not available (" << error << ") - refusing it.\n\n";
        return false;
    }
    if (!verifyDetachedSignature(manifest, signature, signerRule(""), reason)) {
        out << " manifest signature check failed: " << shownText(reason) << " - refusing it.\n\n";
        return false;
    }
    return true;
}

// Days since 1970-01-01 of a date written YYYY-MM-DD; false for anything else.
bool daysOfDate(const std::string& text, int64_t& days) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (text[i] < '0' || text[i] > '9') return false;
    int64_t y = std::stoi(text.substr(0, 4)), m = std::stoi(text.substr(5, 2)),
            d = std::stoi(text.substr(8, 2));
    if (m < 1 || m > 12 || d < 1 || d > 31) return false;
    // The civil calendar counted from March, so that February ends a year.
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400, yoe = y - era * 400;
    int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    days = era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
    return true;
}

// Where the version of the last plugin manifest taken on this machine is kept.
std::string acceptedManifestFile() {
    std::string folder = userStateFolder();
    return folder.empty() ? folder : folder + PathSeparator + "plugin-manifest-version.txt";
}

// The signed manifest's version, expiry and age against what this machine
// took before; says why not, and remembers the version taken.
bool manifestCurrent(const std::string& manifest, std::ostream& out) {
    std::string file = acceptedManifestFile(), last, reason;
    if (!file.empty() && readFileBytes(widePath(file), last, 64)) last = trimSpace(last);
    if (!pluginManifestCurrent(manifest, last, int64_t(std::time(nullptr)), reason)) {
        out << " " << reason << " - refusing it.\n\n";
        return false;
    }
    if (!file.empty())
        (void)replaceFileBytes(widePath(file), manifestField(manifest, "version") + "\n",
                               Readers::OwnerOnly);
    return true;
}

} // namespace

bool pluginManifestCurrent(const std::string& manifest, const std::string& lastAccepted,
                           int64_t now, std::string& reason) {
    std::string version = manifestField(manifest, "version");
    std::string expires = manifestField(manifest, "expires");
    int64_t days = 0;
    if (version.empty() || expires.empty()) {
        reason = std::string("manifest names no ") + (version.empty() ? "version" : "expiry");
        return false;
    }
    if (!daysOfDate(expires, days)) {
        reason = "manifest expiry \"" + shownText(expires) + "\" is no date";
        return false;
    }
    if (now >= days * 86400) {
        reason = "manifest expired on " + expires;
        return false;
    }
    if (!lastAccepted.empty() && isNewerVersion(lastAccepted, version)) {
        reason = "manifest version " + shownText(version) + " is older than " +
                 shownText(lastAccepted) + ", taken before on this machine";
        return false;
    }
    return true;
}

namespace {

// The download steps; true once the plugin file is in place.
bool downloadPlugin(const std::string& gameFolder, std::ostream& out) {
    out << "  Fetching plugin..." << std::flush;
    std::string manifest, error;
    if (!fetchManifest(ServiceHost, L"/plugin-latest.json", manifest, error)) {
        out << " failed (" << error << ")\n\n";
        return false;
    }
    // The plugin runs inside the game: a build that pins its publisher takes
    // the manifest's address and digest only over that publisher's signature,
    // not on the word of the host that serves both.
    if (*PinnedSigner && (!manifestSigned(manifest, out) || !manifestCurrent(manifest, out)))
        return false;
    std::string url = manifestField(manifest, "url");
    std::string sha256 = manifestField(manifest, "sha256");
    if (url.empty() || sha256.empty()) {
        out << " manifest is missing " << (url.empty() ? "\"url\"" : "\"sha256\"") << ".\n";
        printManifestStart(out, manifest, 120);
        return false;
    }
    if (sha256.size() != 64) {
        out << " manifest sha256 is \"" << shownText(sha256) << "\" (" << sha256.size()
            << " chars, expected 64).\n";
        printManifestStart(out, manifest, 160);
        return false;
    }
    std::wstring host, path;
    if (!splitHttpsUrl(url, host, path)) {
        out << " manifest url is not https (" << shownText(url) << ") - refusing it.\n\n";
        return false;
    }
    std::string body;
    error.clear();
    if (!httpsGet(host, path, body, error) || body.size() < MinimumPluginSize) {
        out << " download failed (" << error << ")\n\n";
        return false;
    }
    std::string digest = sha256Hex(body);
    if (digest.empty() || digest != lowerAscii(sha256)) {
        out << " hash mismatch - refusing to install it.\n\n";
        return false;
    }

    std::string plugins = inFolder(gameFolder, PluginsRelative);
    createDirectory(plugins);
    // Moved into place whole: a failed write never leaves the game a
    // cut-short DLL to load.
    switch (replaceFileBytes(widePath(inFolder(gameFolder, PluginRelative)), body)) {
    case WriteStatus::CannotCreate:
        out << "\n  Could not write to " << plugins
            << "\n  Try running Korvane as administrator.\n\n";
        return false;
    case WriteStatus::WriteFailed:
        out << "\n  The write failed partway.\n\n";
        return false;
    case WriteStatus::Ok:
        break;
    }
    out << " ok (" << body.size() / 1024 << " KB, hash verified)\n";
    return true;
}

} // namespace

bool offerPluginInstall(const std::string& gameFolder, bool withDownload, std::istream& in,
                        std::ostream& out) {
    out << "\n  Korvane can install this for you.\n";
    if (withDownload)
        out << "    - download the plugin into " << inFolder(gameFolder, PluginsRelative)
            << PathSeparator << "\n";
    out << "    - enable it in CustomPluginVariables.JSON (a backup is made first)\n";
    out << "\n  Install now? [Y/n] " << std::flush;
    std::string answer;
    if (!std::getline(in, answer) || (!answer.empty() && (answer[0] == 'n' || answer[0] == 'N'))) {
        out << "  Left alone. The manual steps are above.\n\n" << std::flush;
        return false;
    }
    if (isGameRunning()) {
        out << "\n  Close Le Mans Ultimate first - it holds the plugin file open while running.\n\n"
            << std::flush;
        return false;
    }
    if (withDownload && !downloadPlugin(gameFolder, out)) {
        out << std::flush;
        return false;
    }
    std::string error;
    if (!enablePluginInSettings(inFolder(gameFolder, SettingsRelative), error)) {
        out << "  Settings file: " << error << "\n\n" << std::flush;
        return false;
    }
    out << "  Enabled in CustomPluginVariables.JSON (backup saved alongside it)\n"
        << "\n  Done. Start Le Mans Ultimate and check that\n"
        << "  Settings > Gameplay > Enable Plugins is ON.\n\n"
        << std::flush;
    return true;
}

bool offerPluginInstall(const std::string& gameFolder, bool withDownload) {
    return offerPluginInstall(gameFolder, withDownload, std::cin, std::cout);
}

} // namespace korvane
