#include "update/update_check.h"

#include "core/build_info.h"
#include "core/strings.h"
#include "platform/codesign.h"
#include "update/build_file.h"
#include "update/download.h"
#include "update/manifest.h"
#include "update/stage.h"

#include <iostream>
#include <string>

namespace korvane {

namespace {

// No answer at all (input ended) installs nothing either.
bool declined(std::istream& in) {
    std::string answer;
    if (!std::getline(in, answer)) return true;
    return !answer.empty() && (answer[0] == 'n' || answer[0] == 'N');
}

// Downloads the build and keeps it only when it is the one announced: its
// digest and its own version both match the manifest's.
bool downloadAnnounced(const std::wstring& host, const std::wstring& path, const std::string& url,
                       const std::string& sha256, const std::string& version, std::ostream& out,
                       std::string& body) {
    out << "  From " << shownText(url) << "\n";
    out << "  Expecting sha256 " << shownText(sha256.substr(0, 12)) << "...\n";
    out << "  Downloading..." << std::flush;
    std::string error;
    if (!httpsGet(host, path, body, error) || body.size() < 1024) {
        out << " failed (" << error << ")\n\n" << std::flush;
        return false;
    }
    std::string digest = sha256Hex(body);
    if (digest.empty() || digest != lowerAscii(sha256)) {
        out << " hash mismatch - refusing to run it.\n\n" << std::flush;
        return false;
    }
    out << " ok (" << body.size() / 1024 << " KB, hash verified)\n" << std::flush;

    // A manifest that points at another build than it announces (an older
    // signed one, say) gets nothing installed.
    std::string own = readBuildVersion(body);
    if (own.empty() || !sameVersion(own, version)) {
        out << "  Not installing: the downloaded build is " << (own.empty() ? "unlabelled" : own)
            << ", not the announced " << shownText(version) << ".\n\n"
            << std::flush;
        return false;
    }
    return true;
}

} // namespace

bool checkForUpdate(std::istream& in, std::ostream& out) {
    std::string manifest, error;
    if (!fetchManifest(ServiceHost, utf8ToWide(UpdateManifestPath), manifest, error)) {
        out << "Update check skipped (" << error << ")\n" << std::flush;
        return false;
    }
    // Whatever the service says is shown, never obeyed by the console.
    std::string version = manifestField(manifest, "version");
    std::string shownVersion = shownText(version);
    std::string url = manifestField(manifest, "url");
    std::string sha256 = manifestField(manifest, "sha256");
    std::string notes = shownText(manifestField(manifest, "notes"));
    SignerRule signer = signerRule(manifestField(manifest, "signer"));
    if (version.empty() || !isNewerVersion(version, BuildVersion)) {
        out << "Up to date (" << BuildVersion << "; server offers "
            << (version.empty() ? "nothing" : shownVersion) << ")\n"
            << std::flush;
        return false;
    }
    out << "\n  Update available: " << BuildVersion << " -> " << shownVersion << "\n";
    if (!notes.empty()) out << "  " << notes << "\n";
    if (url.empty() || sha256.size() != 64) {
        out << "  Manifest incomplete - download it yourself from https://" << ServiceHostNarrow
            << "\n\n"
            << std::flush;
        return false;
    }
    std::wstring host, path;
    if (!splitHttpsUrl(url, host, path)) {
        out << "  Refusing a non-https download URL.\n\n" << std::flush;
        return false;
    }
    std::string cannot;
    if (!updateCanBeInstalled(cannot)) {
        out << cannot << std::flush;
        return false;
    }
    out << "  Install now? [Y/n] " << std::flush;
    if (declined(in)) {
        out << "  Skipped. Run with --no-update to stop asking.\n\n" << std::flush;
        return false;
    }
    std::string body;
    if (!downloadAnnounced(host, path, url, sha256, version, out, body)) return false;

    // Where the signature is a file of its own, it lies beside the build.
    std::string detached;
    if (!signer.name.empty() && *DetachedSignatureSuffix) {
        std::string ignored;
        if (!httpsGet(host, signaturePath(path, DetachedSignatureSuffix), detached, ignored))
            detached.clear();
    }
    return stageUpdate(body, version, signer, detached, out);
}

bool checkForUpdate() {
    return checkForUpdate(std::cin, std::cout);
}

} // namespace korvane
