#include "platform/machine.h"

#include "platform/text.h"
#include "platform/win32/codepage.h"

#include <string>
#include <windows.h>
// After windows.h, which they build on.
#include <tlhelp32.h>
#include <winternl.h>

namespace korvane {

const char PathSeparator = '\\';

std::string readRegistryString(RegistryHive hive, const std::string& keyPath,
                               const std::string& valueName) {
    HKEY root = hive == RegistryHive::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) !=
            ERROR_SUCCESS &&
        RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS)
        return {};
    BYTE buf[260] = {};
    DWORD size = sizeof buf;
    DWORD type = 0;
    LONG rc = RegQueryValueExA(key, valueName.c_str(), nullptr, &type, buf, &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ) return {};
    const char* text = reinterpret_cast<const char*>(buf);
    // The ANSI call gives the ANSI code page; inside the program text is UTF-8.
    return wideToUtf8(codePageToWide(std::string(text, strnlen(text, sizeof buf)), CP_ACP));
}

std::string steamRootFolder() {
    std::string root =
        readRegistryString(RegistryHive::CurrentUser, "Software\\Valve\\Steam", "SteamPath");
    if (root.empty())
        root =
            readRegistryString(RegistryHive::LocalMachine, "SOFTWARE\\Valve\\Steam", "InstallPath");
    // Steam writes the per-user value with forward slashes.
    for (char& c : root)
        if (c == '/') c = '\\';
    return root;
}

bool pathExists(const std::string& path) {
    return GetFileAttributesW(widePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isDirectory(const std::string& path) {
    DWORD attributes = GetFileAttributesW(widePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void createDirectory(const std::string& path) {
    CreateDirectoryW(widePath(path).c_str(), nullptr);
}

std::string userStateFolder() {
    wchar_t base[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", base, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    std::string folder = wideToUtf8(base) + "\\Korvane";
    createDirectory(folder);
    return isDirectory(folder) ? folder : std::string();
}

std::wstring widePath(const std::string& path) {
    return utf8ToWide(path);
}

std::vector<std::wstring> runningProcessNames() {
    std::vector<std::wstring> texts;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return texts;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry))
        texts.emplace_back(entry.szExeFile);
    CloseHandle(snapshot);
    return texts;
}

std::vector<std::wstring> sectionDirectories() {
    DWORD session = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) session = 0;
    return {L"\\BaseNamedObjects",
            L"\\Sessions\\" + std::to_wstring(session) + L"\\BaseNamedObjects"};
}

namespace {

// One entry of a native directory listing.
struct DirectoryEntry {
    UNICODE_STRING name;
    UNICODE_STRING typeName;
};

using OpenDirectoryFn = NTSTATUS(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*);
using QueryDirectoryFn = NTSTATUS(NTAPI*)(HANDLE, void*, ULONG, BOOLEAN, BOOLEAN, ULONG*, ULONG*);

} // namespace

std::vector<std::wstring> sectionNamesIn(const std::wstring& directory) {
    std::vector<std::wstring> names;
    // The object directory has no documented Win32 call; ntdll's own ones are
    // looked up at run time so a system without them simply lists nothing.
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return names;
    auto openDirectory = reinterpret_cast<OpenDirectoryFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtOpenDirectoryObject")));
    auto queryDirectory = reinterpret_cast<QueryDirectoryFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryDirectoryObject")));
    if (!openDirectory || !queryDirectory) return names;

    std::wstring path = directory;
    UNICODE_STRING name;
    name.Buffer = path.data();
    name.Length = USHORT(path.size() * sizeof(wchar_t));
    name.MaximumLength = USHORT(name.Length + sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes{};
    attributes.Length = sizeof attributes;
    attributes.ObjectName = &name;
    HANDLE dir = nullptr;
    if (openDirectory(&dir, 1 /* query */, &attributes) != 0 || !dir) return names;

    std::vector<unsigned char> buffer(65536, 0);
    ULONG context = 0;
    for (;;) {
        ULONG returned = 0;
        if (queryDirectory(dir, buffer.data(), ULONG(buffer.size()), TRUE, FALSE, &context,
                           &returned) != 0)
            break;
        const auto* entry = reinterpret_cast<const DirectoryEntry*>(buffer.data());
        if (entry->name.Length == 0 || !entry->name.Buffer) break;
        std::wstring type(entry->typeName.Buffer ? entry->typeName.Buffer : L"",
                          entry->typeName.Length / sizeof(wchar_t));
        if (type == L"Section")
            names.emplace_back(entry->name.Buffer, entry->name.Length / sizeof(wchar_t));
    }
    CloseHandle(dir);
    return names;
}

} // namespace korvane
