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

std::string userStateFolder() {
    std::string home = homeFolder();
    if (home.empty()) return {};
    std::string folder = home;
    for (const char* part : {"/.local", "/state", "/korvane"}) {
        folder += part;
        ::mkdir(folder.c_str(), 0700);
    }
    return isDirectory(folder) ? folder : std::string();
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

std::vector<std::wstring> runningProcessNames() {
    std::vector<std::wstring> names;
    DIR* proc = opendir("/proc");
    if (!proc) return names;
    while (const dirent* entry = readdir(proc)) {
        const char* pid = entry->d_name;
        if (*pid < '1' || *pid > '9') continue;
        std::string base = std::string("/proc/") + pid;
        // The short name is cut at 15 bytes and the executable link may not
        // be readable, so the first word of the command line counts too:
        // under Proton the game is a Wine process started as its .exe's path.
        // A process that ended meanwhile simply reads as empty.
        std::string comm, cmdline;
        (void)readFileBytes(widePath(base + "/comm"), comm, 4096);
        if (!comm.empty() && comm.back() == '\n') comm.pop_back();
        names.push_back(utf8ToWide(comm));
        char target[4096];
        ssize_t n = readlink((base + "/exe").c_str(), target, sizeof target);
        if (n > 0) names.push_back(utf8ToWide(std::string(target, size_t(n))));
        (void)readFileBytes(widePath(base + "/cmdline"), cmdline, 1 << 20);
        names.push_back(utf8ToWide(cmdline.substr(0, cmdline.find('\0'))));
    }
    closedir(proc);
    return names;
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
