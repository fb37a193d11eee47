#include "update/stage.h"

#include "core/build_info.h"
#include "core/strings.h"
#include "platform/clock.h"
#include "platform/codesign.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/replace.h"
#include "platform/text.h"
#include "update/signature.h"

#include <ctime>
#include <iostream>

namespace korvane {

namespace {

std::string logLine(const std::string& text) {
    std::string line = "[";
    line += formatLocalTime(std::time(nullptr), "%Y-%m-%d %H:%M:%S");
    line += "] ";
    line += text;
    line += "\n";
    return line;
}

// Where the running file can be renamed over, the swap happens here and now,
// with the same log the script would keep; the new build then takes over
// this process. Returns only when it could not.
void swapInPlace(const std::wstring& exe, const std::wstring& staged, size_t size,
                 std::ostream& out) {
    std::string log = logLine("update starting");
    if (!moveFileOver(staged, exe)) {
        (void)writeFileBytes(exe + L".update.log", log + logLine("move failed after 1 tries"));
        deleteFile(staged);
        out << "  Could not replace this program - carrying on with this version.\n\n"
            << std::flush;
        return;
    }
    log += logLine("replaced after 1 tries") + logLine("new size=" + std::to_string(size));
    (void)writeFileBytes(exe + L".update.log", log);
    out << "  Installing and restarting...\n" << std::flush;
    restartAs(exe);
    out << "  Could not restart - start the program again to run the new build.\n\n" << std::flush;
}

// The program and its staged build as the script names them.
bool scriptPaths(const std::wstring& exe, std::string& target, std::string& staged) {
    return scriptPathText(exe, target) && scriptPathText(exe + L".new", staged);
}

} // namespace

bool updateCanBeInstalled(std::string& message) {
    std::wstring exe = executablePath();
    std::string target, staged;
    if (!swapNeedsScript() || exe.empty() || scriptPaths(exe, target, staged)) return true;
    message = "  Cannot update here: the update script could not name this program's file\n"
              "  (" +
              wideToUtf8(exe) +
              ").\n"
              "  Move the program to a folder with a plain name (no accents or symbols)\n"
              "  and start it from there to update.\n\n";
    return false;
}

std::string updateScript(const std::string& target, const std::string& staged) {
    const char* const lines[] = {
        "@echo off",
        nullptr, // target
        nullptr, // staged
        "set \"log=%target%.update.log\"",
        "echo [%date% %time%] update starting > \"%log%\"",
        "set tries=0",
        ":wait",
        "set /a tries+=1",
        // By its full path: cmd looks in the working folder first, where a
        // ping.bat must never run in its place.
        "\"%SystemRoot%\\System32\\ping.exe\" -n 2 127.0.0.1 >nul 2>&1",
        "move /y \"%staged%\" \"%target%\" >nul 2>&1",
        "if not errorlevel 1 goto ok",
        nullptr, // the tries
        "echo [%date% %time%] move failed after %tries% tries >> \"%log%\"",
        "del \"%staged%\" >nul 2>&1",
        "start \"\" \"%target%\"",
        "del \"%~f0\" >nul 2>&1",
        "exit /b 1",
        ":ok",
        "echo [%date% %time%] replaced after %tries% tries >> \"%log%\"",
        "for %%A in (\"%target%\") do echo [%date% %time%] new size=%%~zA >> \"%log%\"",
        "start \"\" \"%target%\"",
        "del \"%~f0\" >nul 2>&1",
    };
    std::string script;
    for (size_t i = 0; i < std::size(lines); ++i) {
        if (i == 1 || i == 2) {
            script += i == 1 ? "set \"target=" : "set \"staged=";
            script += i == 1 ? target : staged;
            script += "\"";
        } else if (!lines[i]) {
            script +=
                "if %tries% lss " + std::to_string(BuildDeadlines.replaceTries) + " goto wait";
        } else {
            script += lines[i];
        }
        script += "\r\n";
    }
    return script;
}

bool stageUpdate(const std::string& body, const std::string& version, const SignerRule& signer,
                 const std::string& detachedSignature, std::ostream& out) {
    std::wstring exe = executablePath();
    if (exe.empty()) {
        out << "  Could not locate this executable.\n\n" << std::flush;
        return false;
    }
    std::wstring staged = exe + L".new", script = exe + L".update.cmd";
    switch (writeFileBytes(staged, body)) {
    case WriteStatus::CannotCreate:
        out << "  Could not write the new build.\n\n" << std::flush;
        return false;
    case WriteStatus::WriteFailed:
        // Never left half-written where a script from an earlier run, still
        // waiting, could move it over the program.
        deleteFile(staged);
        out << "  Write failed.\n\n" << std::flush;
        return false;
    case WriteStatus::Ok:
        break;
    }
    if (!signer.name.empty()) {
        std::wstring signature = staged + utf8ToWide(DetachedSignatureSuffix);
        if (*DetachedSignatureSuffix && !detachedSignature.empty())
            (void)writeFileBytes(signature, detachedSignature);
        std::string reason;
        bool trusted = verifySignature(staged, signer, reason);
        if (*DetachedSignatureSuffix) deleteFile(signature);
        if (!trusted) {
            deleteFile(staged);
            out << "  Signature check failed: " << shownText(reason)
                << " - refusing to install.\n\n"
                << std::flush;
            return false;
        }
        out << "  Signature verified (" << shownText(signer.name) << ")\n" << std::flush;
    }
    // A script cut short must never run: it could move a half-staged build.
    std::string targetText, stagedText;
    if (swapNeedsScript() &&
        (!scriptPaths(exe, targetText, stagedText) ||
         writeFileBytes(script, updateScript(targetText, stagedText)) != WriteStatus::Ok)) {
        deleteFile(script);
        deleteFile(staged);
        out << "  Could not write the update script.\n\n" << std::flush;
        return false;
    }
    (void)writeFileBytes(exe + L".update.expect",
                         version + "\n" + std::to_string(body.size()) + "\n");
    if (!swapNeedsScript()) {
        swapInPlace(exe, staged, body.size(), out);
        return false;
    }
    out << "  Installing and restarting...\n" << std::flush;
    startScriptHidden(script);
    return true;
}

void checkFinishedUpdate(const std::wstring& exePath, std::ostream& out) {
    std::wstring notePath = exePath + L".update.expect";
    std::string note;
    if (!readFileBytes(notePath, note, 4096)) return;
    size_t firstEnd = note.find('\n');
    std::string expected = trimSpace(note.substr(0, firstEnd));
    std::string count;
    if (firstEnd != std::string::npos) {
        size_t secondEnd = note.find('\n', firstEnd + 1);
        count = trimSpace(note.substr(
            firstEnd + 1, secondEnd == std::string::npos ? secondEnd : secondEnd - firstEnd - 1));
    }
    if (expected == BuildVersion) {
        out << "Updated to " << BuildVersion << "\n";
    } else if (!expected.empty()) {
        // The note holds the manifest's words: shown, not obeyed.
        expected = shownText(expected);
        count = shownText(count);
        out << "\n  UPDATE DID NOT TAKE: expected " << expected << ", still running "
            << BuildVersion << ".\n"
            << "  The file at the manifest's url is not the " << expected
            << " build (or its sha256 was taken from\n"
            << "  the old exe). Rebuild, upload, regenerate companion-latest.json, and clear "
               "any CDN cache.\n"
            << "  Downloaded " << count << " bytes.\n\n";
    }
    out << std::flush;
    deleteFile(notePath);
}

void checkFinishedUpdate() {
    std::wstring exe = executablePath();
    if (!exe.empty()) checkFinishedUpdate(exe, std::cout);
}

} // namespace korvane
