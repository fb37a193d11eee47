#pragma once
// The system libraries that Windows does not count among its known DLLs
// (WinHTTP, CRYPT32, WINTRUST, bcrypt) would be looked for in the program's
// own folder first if the .exe imported them: a winhttp.dll in the Downloads
// folder beside it would run inside the program, elevated when the user runs
// it as administrator. So the .exe imports none of them; each function is
// taken from the copy in the system folder the first time it is called.
#include <windows.h>

namespace korvane {

using SystemFunction = void (*)();

// The function from `library` in the system folder. A Windows without it
// cannot run the program: it says so and ends.
SystemFunction systemFunction(const wchar_t* library, const char* name);

} // namespace korvane

// `fn` as declared by the Windows headers, from `library` in the system folder.
#define KORVANE_SYSTEM_FUNCTION(library, fn)                                                       \
    ([] {                                                                                          \
        static const auto found =                                                                  \
            reinterpret_cast<decltype(&::fn)>(::korvane::systemFunction(library, #fn));            \
        return found;                                                                              \
    }())
#define WINHTTP_CALL(fn) KORVANE_SYSTEM_FUNCTION(L"winhttp.dll", fn)
#define BCRYPT_CALL(fn) KORVANE_SYSTEM_FUNCTION(L"bcrypt.dll", fn)
#define CRYPT32_CALL(fn) KORVANE_SYSTEM_FUNCTION(L"crypt32.dll", fn)
#define WINTRUST_CALL(fn) KORVANE_SYSTEM_FUNCTION(L"wintrust.dll", fn)
