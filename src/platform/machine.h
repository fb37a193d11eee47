#pragma once
// What the setup assistant and the waiting screen ask of the machine: where
// Steam lives, which files and folders exist, which processes run and which
// named sections exist. Paths here are UTF-8, as all text inside the program,
// written with the platform's own separator. Nothing here prints or reports an
// error: a failure reads as absence.
#include <string>
#include <vector>

namespace korvane {

// '\\' on Windows, '/' elsewhere.
extern const char PathSeparator;

enum class RegistryHive { CurrentUser, LocalMachine };

// A plain string value (REG_SZ), looked for in the 64-bit view and then in the
// 32-bit view. Empty when it is missing, of another type or longer than 259
// bytes, and always empty where there is no registry.
std::string readRegistryString(RegistryHive hive, const std::string& keyPath,
                               const std::string& valueName);

// Steam's root folder as this machine records it, with this platform's
// separators; empty when there is none.
std::string steamRootFolder();

// File or folder.
bool pathExists(const std::string& path);
bool isDirectory(const std::string& path);

// Creates one folder; an existing folder is fine and failures are not reported.
void createDirectory(const std::string& path);

// The folder where the program keeps what it remembers for the user between
// runs, created when missing: %LOCALAPPDATA%\Korvane on Windows,
// ~/.local/state/korvane elsewhere. Empty when there is none.
std::string userStateFolder();

// The wide form the file helpers of files.h take.
std::wstring widePath(const std::string& path);

// The names running processes go by: each one's executable file name and,
// where the platform keeps a command line, its first word (the program as it
// was started, often a whole path), each a text of its own.
std::vector<std::wstring> runningProcessNames();

// The directories of named sections that the waiting screen lists.
std::vector<std::wstring> sectionDirectories();

// The sections in one of those directories, in the order it gives them and
// in the letter case it gives them; empty when it cannot be listed.
std::vector<std::wstring> sectionNamesIn(const std::wstring& directory);

} // namespace korvane
