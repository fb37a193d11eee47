#pragma once
// Finding Le Mans Ultimate through Steam, and what state its telemetry
// plugin is in. Read-only: nothing here writes, prints or reports an error.
#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

namespace korvane {

inline constexpr const char* PluginFileName = "rFactor2SharedMemoryMapPlugin64.dll";

struct PluginStatus {
    bool found = false;     // a game folder was chosen
    std::string gameFolder; // without a trailing separator; empty when none
    bool pluginPresent = false;
    bool hasSettingsEntry = false;
    bool enabled = false;
    // The install ships the header of the game's own shared memory: this
    // game publishes it, and needs no plugin.
    bool gameInterface = false;
};

// One line per distinct game folder of the latest folder walk: the folder and
// its markers. Refilled by every findGameFolder.
extern std::vector<std::string> gameFolderReport;

// `relative` written with '/', joined onto `folder` with this platform's separator.
std::string inFolder(const std::string& folder, const std::string& relative);

// White space as JSON has it. Not isspace(): a form feed or vertical tab is no
// white space in the settings file, and isspace depends on the locale.
inline bool isJsonSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Relative to the game folder.
inline constexpr const char* PluginsRelative = "Plugins";
inline constexpr const char* PluginRelative = "Plugins/rFactor2SharedMemoryMapPlugin64.dll";
inline constexpr const char* SettingsRelative = "UserData/player/CustomPluginVariables.JSON";
inline constexpr const char* GameInterfaceRelative =
    "Support/SharedMemoryInterface/SharedMemoryInterface.hpp";
// The most read of the settings file and of Steam's library list: both are a
// few kilobytes, and a larger file is not one of them.
inline constexpr size_t SettingsFileLimit = size_t(4) << 20;
inline constexpr size_t LibraryFileLimit = size_t(4) << 20;

// Every "path" value of a libraryfolders.vdf text, in order, repeats and
// empty values included.
std::vector<std::string> libraryPaths(const std::string& libraryText);

// The Steam root first, then every "path" value of libraryfolders.vdf in file
// order, repeats and empty values included.
std::vector<std::string> steamLibraries(const std::string& steamRoot,
                                        const std::string& libraryFile);

// The first real install that has the plugin, else the first real install,
// else empty; the walk starts from the given Steam root.
std::string findGameFolder(const std::string& steamRoot);
std::string findGameFolder();

// Position of the Enabled value's digit in `section`: the "Enabled" key, its
// colon, white space, then a lone 0 or 1. npos when the value is anything else.
size_t enabledDigit(const std::string& section);

// The plugin's entry and Enabled flag as the settings text gives them.
void readSettingsFlags(const std::string& settingsText, PluginStatus& status);

PluginStatus readPluginStatus();

// True when the text in lower case holds one of the (lower-case) patterns.
bool lowerCaseHoldsAny(const std::wstring& text, std::initializer_list<const wchar_t*> patterns);

// Whether a process name (a bare file name or a path) is the game's: the file
// name after the last '/' or '\' holds "Le Mans Ultimate" or
// "LeMansUltimate" in any letter case. An editor or a shell that merely has
// the game's folder among its arguments is not the game.
bool namesGame(const std::wstring& processName);

// A running process whose name is the game's.
bool isGameRunning();

} // namespace korvane
