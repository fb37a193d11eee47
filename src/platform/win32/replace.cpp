#include "platform/replace.h"

#include "platform/win32/codepage.h"

#include <windows.h>

#include <shellapi.h>

namespace korvane {

bool swapNeedsScript() {
    return true;
}

namespace {

// The 8.3 form of an existing file or folder, when the volume keeps one and
// it is plain ASCII without a '%'.
bool plainShortForm(const std::wstring& path, std::string& text) {
    DWORD n = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (n == 0) return false;
    std::wstring shortForm(n, L'\0');
    n = GetShortPathNameW(path.c_str(), shortForm.data(), n);
    if (n == 0 || n >= shortForm.size()) return false;
    shortForm.resize(n);
    text.clear();
    for (wchar_t c : shortForm) {
        if (c < 0x20 || c > 0x7E || c == L'%') return false;
        text += char(c);
    }
    return true;
}

// The command interpreter reads a batch file in the OEM code page.
bool oemExact(const std::wstring& wide, std::string& text) {
    return wideToCodePageExact(wide, CP_OEMCP, text);
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
    // It runs in its own folder, the program's, never in the folder the
    // program was started from.
    std::wstring folder = path.substr(0, path.find_last_of(L"\\/") + 1);
    ShellExecuteW(nullptr, L"open", path.c_str(), nullptr,
                  folder.empty() ? nullptr : folder.c_str(), SW_HIDE);
}

void restartAs(const std::wstring&) {
    // The script starts the new build once this process has ended.
}

} // namespace korvane
