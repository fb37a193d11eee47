#include "platform/win32/system_library.h"

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

namespace korvane {

namespace {

// Each library comes from the system folder alone (LOAD_LIBRARY_SEARCH_SYSTEM32),
// and so does every library loaded later in the process. The four are loaded
// together, each after those it imports, so that none of them looks for
// another anywhere: Wine's loader, for one, searches the program's folder for
// a library's imports whatever flags loaded the library itself.
bool loadSystemLibraries() {
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    for (const wchar_t* name : {L"crypt32.dll", L"bcrypt.dll", L"wintrust.dll", L"winhttp.dll"})
        LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return true;
}

} // namespace

SystemFunction systemFunction(const wchar_t* library, const char* name) {
    static const bool loaded = loadSystemLibraries();
    (void)loaded;
    HMODULE module = LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    FARPROC found = module ? GetProcAddress(module, name) : nullptr;
    if (!found) {
        std::fprintf(stderr, "\nERROR: %ls from the Windows system folder lacks %s.\n", library,
                     name);
        std::fflush(stderr);
        std::_Exit(1);
    }
    // Through a pointer to a function without parameters, which any
    // function pointer may be cast to and back.
    return reinterpret_cast<SystemFunction>(found);
}

} // namespace korvane
