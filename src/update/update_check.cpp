#include "update/update_check.h"

#include "core/build_info.h"
#include "platform/codesign.h"
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

} // namespace

bool checkForUpdate(std::istream& in, std::ostream& out) {
    std::string manifest, error;
    if (!httpsGet(ServiceHost, utf8ToWide(UpdateManifestPath), manifest, error)) {
        out << "Update check skipped (" << error << ")\n" << std::flush;
        return false;
    }
    std::string version = manifestField(manifest, "version");
    std::string url = manifestField(manifest, "url");
    std::string sha256 = manifestField(manifest, "sha256");
    std::string notes = manifestField(manifest, "notes");
    std::string signer = manifestField(manifest, "signer");
    if (version.empty() || !isNewerVersion(version, BuildVersion)) {
        out << "Up to date (" << BuildVersion << "; server offers "
            << (version.empty() ? "nothing" : version) << ")\n"
            << std::flush;
        return false;
    }
    out << "\n  Update available: " << BuildVersion << " -> " << version << "\n";
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
    out << "  From " << url << "\n";
    out << "  Expecting sha256 " << sha256.substr(0, 12) << "...\n";
    out << "  Downloading..." << std::flush;
    std::string body;
    error.clear();
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

    // Where the signature is a file of its own, it lies beside the build.
    std::string detached;
    if (!signer.empty() && *DetachedSignatureSuffix) {
        std::string ignored;
        if (!httpsGet(host, path + utf8ToWide(DetachedSignatureSuffix), detached, ignored))
            detached.clear();
    }
    return stageUpdate(body, version, signer, detached, out);
}

bool checkForUpdate() {
    return checkForUpdate(std::cin, std::cout);
}

} // namespace korvane
