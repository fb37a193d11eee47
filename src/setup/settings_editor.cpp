#include "setup/settings_editor.h"

#include "platform/files.h"
#include "platform/machine.h"
#include "setup/discovery.h"

#include <cctype>
#include <cstring>
#include <ctime>

namespace korvane {

namespace {

constexpr const char* NewFileHead = "{\n  \"";
constexpr const char* NewFileTail = "\": {\n    \" Enabled\": 1\n  }\n}\n";
constexpr const char* SectionHead = "\n  \"";
constexpr const char* SectionBody =
    "\": {\n    \" Enabled\": 1,\n    \"EnableDirectMemoryAccess\": 0,\n    "
    "\"UnsubscribedBuffersMask\": 0\n  }";

// True when only white space lies between the brace at `open` and a closing brace.
bool emptyObjectAt(const std::string& content, size_t open) {
    size_t at = open + 1;
    while (at < content.size() && isJsonSpace(content[at])) ++at;
    return at < content.size() && content[at] == '}';
}

// A new file each run: the time in seconds, and a count when one run follows
// another within the same second.
std::string backupPath(const std::string& settingsPath) {
    std::string base = settingsPath + ".korvane-backup-" +
                       std::to_string(static_cast<long long>(std::time(nullptr)));
    std::string path = base;
    for (int n = 2; pathExists(path); ++n) path = base + "-" + std::to_string(n);
    return path;
}

} // namespace

bool editPluginSettings(std::string& content, std::string& error) {
    size_t name = content.find(PluginFileName);
    if (name != std::string::npos) {
        // Only the closing quote, the colon and white space may stand between
        // the name and its section: anything else means the name is not the
        // key of the section that follows.
        size_t open = content.find_first_not_of("\": \t\r\n", name + std::strlen(PluginFileName));
        if (open != std::string::npos && content[open] != '{') open = std::string::npos;
        size_t close = open == std::string::npos ? open : content.find('}', open);
        if (close == std::string::npos) {
            error = "the plugin's section is malformed - fix it by hand";
            return false;
        }
        std::string section = content.substr(open, close - open);
        if (section.find("Enabled") == std::string::npos) {
            error = "no Enabled key in the plugin's section - fix it by hand";
            return false;
        }
        size_t digit = enabledDigit(section);
        if (digit == std::string::npos) {
            error = "could not read the Enabled value - fix it by hand";
            return false;
        }
        content[open + digit] = '1';
        return true;
    }
    size_t open = content.find('{');
    if (open == std::string::npos) {
        content = std::string(NewFileHead) + PluginFileName + NewFileTail;
        return true;
    }
    // In an empty object the new section is the only entry: no comma after it.
    std::string section = std::string(SectionHead) + PluginFileName + SectionBody;
    if (!emptyObjectAt(content, open)) section += ',';
    content.insert(open + 1, section);
    return true;
}

bool enablePluginInSettings(const std::string& settingsPath, std::string& error) {
    std::wstring path = widePath(settingsPath);
    std::string content;
    if (!readFileBytes(path, content, SettingsFileLimit) && pathExists(settingsPath)) {
        error = "could not read the settings file - refusing to edit";
        return false;
    }
    if (!content.empty()) {
        std::wstring backup = widePath(backupPath(settingsPath));
        WriteStatus saved = writeFileBytes(backup, content);
        if (saved != WriteStatus::Ok) {
            if (saved == WriteStatus::WriteFailed) deleteFile(backup);
            error = "could not write a backup - refusing to edit";
            return false;
        }
    }
    if (!editPluginSettings(content, error)) return false;

    switch (replaceFileBytes(path, content)) {
    case WriteStatus::CannotCreate:
        error = "could not write the settings file";
        return false;
    case WriteStatus::WriteFailed:
        error = "the write failed partway";
        return false;
    case WriteStatus::Ok:
        break;
    }
    return true;
}

} // namespace korvane
