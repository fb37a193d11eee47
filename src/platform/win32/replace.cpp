#include "platform/replace.h"

#include <windows.h>

#include <shellapi.h>

namespace korvane {

bool swapNeedsScript() {
    return true;
}

namespace {

// The text in the OEM code page, in which the command interpreter reads a
// batch file; false when a character has no exact form there (a best fit
// would name another file).
bool oemExact(const std::wstring& wide, std::string& text) {
    text.clear();
    if (wide.empty()) return true;
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()),
                                nullptr, 0, nullptr, &usedDefault);
    if (n <= 0 || usedDefault) return false;
    text.assign(size_t(n), '\0');
    WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), text.data(),
                        n, nullptr, &usedDefault);
    return !usedDefault;
}

// The 8.3 form of an existing file or folder, when the volume keeps one and
// it is plain ASCII without a '%'.
bool plainShortForm(const std::wstring& folder, std::string& text) {
    DWORD n = GetShortPathNameW(folder.c_str(), nullptr, 0);
    if (n == 0) return false;
    std::wstring shortForm(n, L'\0');
    n = GetShortPathNameW(folder.c_str(), shortForm.data(), n);
    if (n == 0 || n >= shortForm.size()) return false;
    shortForm.resize(n);
    text.clear();
    for (wchar_t c : shortForm) {
        if (c < 0x20 || c > 0x7E || c == L'%') return false;
        text += char(c);
    }
    return true;
}

} // namespace

bool scriptPathText(const std::wstring& path, std::string& text) {
    bool exact = oemExact(path, text);
    if (exact && text.find('%') == std::string::npos) return true;
    // The folder's short form, where it has one, holds neither letters the
    // code page lacks nor a '%', which some command interpreters expand
    // again after a variable's value has been put in; the file's own name
    // must be exact.
    size_t slash = path.find_last_of(L"\\/");
    std::string folder, name;
    if (slash != std::wstring::npos && oemExact(path.substr(slash + 1), name) &&
        name.find('%') == std::string::npos && plainShortForm(path.substr(0, slash), folder)) {
        text = folder + "\\" + name;
        return true;
    }
    if (!exact) return false;
    // In a batch file '%' starts a variable; doubled it is the character.
    std::string doubled;
    for (char c : text) {
        doubled += c;
        if (c == '%') doubled += '%';
    }
    text = doubled;
    return true;
}

void startScriptHidden(const std::wstring& script) {
    // The script deletes itself by the path it was started with: that path
    // must not hold a '%' either, where a short form can spare it one.
    std::wstring path = script;
    std::string shortForm;
    if (path.find(L'%') != std::wstring::npos && plainShortForm(path, shortForm))
        path.assign(shortForm.begin(), shortForm.end());
    ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_HIDE);
}

void restartAs(const std::wstring&) {
    // The script starts the new build once this process has ended.
}

} // namespace korvane
