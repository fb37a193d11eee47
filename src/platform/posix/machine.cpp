#include "platform/machine.h"

#include "platform/files.h"
#include "platform/text.h"

#include <cstdlib>
#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

const char PathSeparator = '/';

namespace {

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    const passwd* pw = getpwuid(getuid());
    return pw && pw->pw_dir ? pw->pw_dir : "";
}

} // namespace

std::string readRegistryString(RegistryHive, const std::string&, const std::string&) {
    return {};
}

std::string steamRootFolder() {
    std::string home = homeFolder();
    if (home.empty()) return {};
    // The native client's link, the native folder, then the Flatpak's folder.
    for (const char* relative : {"/.steam/steam", "/.local/share/Steam",
                                 "/.var/app/com.valvesoftware.Steam/.local/share/Steam"}) {
        std::string root = home + relative;
        if (isDirectory(root)) return root;
    }
    return {};
}

bool pathExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void createDirectory(const std::string& path) {
    ::mkdir(path.c_str(), 0755);
}

std::wstring widePath(const std::string& path) {
    return utf8ToWide(path);
}

std::vector<std::wstring> runningProcessTexts() {
    std::vector<std::wstring> texts;
    DIR* proc = opendir("/proc");
    if (!proc) return texts;
    while (const dirent* entry = readdir(proc)) {
        const char* name = entry->d_name;
        if (*name < '1' || *name > '9') continue;
        std::string base = std::string("/proc/") + name;
        // The short name is cut at 15 bytes, so the command line counts too:
        // under Proton the game is a Wine process whose arguments name its .exe.
        std::string text, cmdline;
        // A process that ended meanwhile simply reads as empty.
        (void)readFileBytes(widePath(base + "/comm"), text);
        (void)readFileBytes(widePath(base + "/cmdline"), cmdline);
        for (char& c : cmdline)
            if (c == '\0') c = ' ';
        text += ' ';
        text += cmdline;
        texts.push_back(utf8ToWide(text));
    }
    closedir(proc);
    return texts;
}

std::vector<std::wstring> sectionDirectories() {
    return {L"/dev/shm"};
}

std::vector<std::wstring> sectionNamesIn(const std::wstring& directory) {
    std::vector<std::wstring> names;
    std::string dir = wideToUtf8(directory);
    DIR* d = opendir(dir.c_str());
    if (!d) return names;
    while (const dirent* entry = readdir(d)) {
        // Each mapping is a plain file of the mapping's own name.
        struct stat st {};
        std::string path = dir + "/" + entry->d_name;
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            names.push_back(utf8ToWide(entry->d_name));
    }
    closedir(d);
    return names;
}

} // namespace korvane
