#include "setup/discovery.h"

#include "platform/files.h"
#include "platform/machine.h"
#include "update/manifest.h"

#include <algorithm>
#include <cctype>
#include <cwctype>

namespace korvane {

std::vector<std::string> gameFolderReport;

namespace {

// The quoted value after "path", with doubled backslashes made single; false
// when the line holds no complete value.
bool libraryPathOnLine(const std::string& line, std::string& value) {
    size_t key = line.find("\"path\"");
    if (key == std::string::npos) return false;
    size_t open = line.find('"', key + 6);
    if (open == std::string::npos) return false;
    size_t close = line.find('"', open + 1);
    if (close == std::string::npos) return false;
    std::string raw = line.substr(open + 1, close - open - 1);
    value.clear();
    for (size_t i = 0; i < raw.size(); ++i) {
        value += raw[i];
        if (raw[i] == '\\' && i + 1 < raw.size() && raw[i + 1] == '\\') ++i;
    }
    return true;
}

} // namespace

std::string inFolder(const std::string& folder, const std::string& relative) {
    std::string path = folder + PathSeparator + relative;
    for (size_t i = folder.size(); i < path.size(); ++i)
        if (path[i] == '/') path[i] = PathSeparator;
    return path;
}

std::vector<std::string> libraryPaths(const std::string& libraryText) {
    std::vector<std::string> paths;
    std::string value;
    for (size_t start = 0; start < libraryText.size();) {
        size_t end = std::min(libraryText.find('\n', start), libraryText.size());
        if (libraryPathOnLine(libraryText.substr(start, end - start), value))
            paths.push_back(value);
        start = end + 1;
    }
    return paths;
}

std::vector<std::string> steamLibraries(const std::string& steamRoot,
                                        const std::string& libraryFile) {
    std::vector<std::string> libraries;
    if (steamRoot.empty()) return libraries;
    libraries.push_back(steamRoot);
    std::string text;
    if (readFileBytes(widePath(libraryFile), text, LibraryFileLimit))
        for (std::string& path : libraryPaths(text)) libraries.push_back(std::move(path));
    return libraries;
}

std::string findGameFolder(const std::string& steamRoot) {
    std::vector<std::string> libraries =
        steamLibraries(steamRoot, inFolder(steamRoot, "steamapps/libraryfolders.vdf"));
    gameFolderReport.clear();
    std::vector<std::string> accepted;
    std::string fallback;
    for (const std::string& library : libraries) {
        std::string candidate = inFolder(library, "steamapps/common/Le Mans Ultimate");
        if (!isDirectory(candidate)) continue;
        // Steam lists its own root again, often in another letter case.
        std::string key = lowerAscii(candidate);
        if (std::find(accepted.begin(), accepted.end(), key) != accepted.end()) continue;
        accepted.push_back(key);

        bool realInstall = pathExists(inFolder(candidate, "Bin64")) ||
                           pathExists(inFolder(candidate, "UserData")) ||
                           pathExists(inFolder(candidate, "Le Mans Ultimate.exe"));
        bool hasPlugins = pathExists(inFolder(candidate, PluginsRelative));
        bool hasPlugin = pathExists(inFolder(candidate, PluginRelative));
        std::string line = candidate;
        if (!realInstall) line += "   [no Bin64/UserData]";
        if (!hasPlugins) line += "   [no Plugins folder]";
        if (hasPlugin) line += "   [plugin present]";
        gameFolderReport.push_back(line);

        if (realInstall && hasPlugin) return candidate;
        if (realInstall && fallback.empty()) fallback = candidate;
    }
    return fallback;
}

std::string findGameFolder() {
    return findGameFolder(steamRootFolder());
}

size_t enabledDigit(const std::string& section) {
    size_t key = section.find("Enabled");
    if (key == std::string::npos) return std::string::npos;
    size_t colon = section.find(':', key);
    if (colon == std::string::npos) return std::string::npos;
    size_t at = colon + 1;
    while (at < section.size() && isJsonSpace(section[at])) ++at;
    if (at >= section.size() || (section[at] != '0' && section[at] != '1'))
        return std::string::npos;
    // "10", "1.5" or "1e3" is not a switch: leave such a value to the user.
    if (at + 1 < section.size()) {
        unsigned char next = static_cast<unsigned char>(section[at + 1]);
        if (std::isalnum(next) || next == '.' || next == '_') return std::string::npos;
    }
    return at;
}

void readSettingsFlags(const std::string& settingsText, PluginStatus& status) {
    size_t name = settingsText.find(PluginFileName);
    if (name == std::string::npos) return;
    status.hasSettingsEntry = true;
    size_t end = settingsText.find('}', name);
    std::string section =
        settingsText.substr(name, end == std::string::npos ? std::string::npos : end - name);
    size_t digit = enabledDigit(section);
    status.enabled = digit != std::string::npos && section[digit] == '1';
}

PluginStatus readPluginStatus() {
    PluginStatus status;
    status.gameFolder = findGameFolder();
    status.found = !status.gameFolder.empty();
    if (!status.found) return status;
    status.pluginPresent = pathExists(inFolder(status.gameFolder, PluginRelative));
    status.gameInterface = pathExists(inFolder(status.gameFolder, GameInterfaceRelative));
    std::string text;
    if (readFileBytes(widePath(inFolder(status.gameFolder, SettingsRelative)), text,
                      SettingsFileLimit))
        readSettingsFlags(text, status);
    return status;
}

bool lowerCaseHoldsAny(const std::wstring& text, std::initializer_list<const wchar_t*> patterns) {
    std::wstring lower = text;
    for (wchar_t& c : lower) c = wchar_t(std::towlower(c));
    for (const wchar_t* p : patterns)
        if (lower.find(p) != std::wstring::npos) return true;
    return false;
}

bool namesGame(const std::wstring& processName) {
    size_t slash = processName.find_last_of(L"/\\");
    std::wstring file = slash == std::wstring::npos ? processName : processName.substr(slash + 1);
    return lowerCaseHoldsAny(file, {L"le mans ultimate", L"lemansultimate"});
}

bool isGameRunning() {
    for (const std::wstring& name : runningProcessNames())
        if (namesGame(name)) return true;
    return false;
}

} // namespace korvane
