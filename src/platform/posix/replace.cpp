#include "platform/replace.h"

#include "platform/files.h"
#include "platform/text.h"

#include <cstdio>
#include <unistd.h>
#include <vector>

namespace korvane {

bool swapNeedsScript() {
    return false;
}

bool scriptPathText(const std::wstring& path, std::string& text) {
    text = wideToUtf8(path);
    return true;
}

void startScriptHidden(const std::wstring&) {}

void restartAs(const std::wstring& exe) {
    // The arguments as this process got them, argv[0] included.
    std::string cmdline;
    if (!readFileBytes(L"/proc/self/cmdline", cmdline, 1 << 20)) return;
    std::vector<std::string> args;
    size_t start = 0;
    while (start < cmdline.size()) {
        size_t end = cmdline.find('\0', start);
        if (end == std::string::npos) end = cmdline.size();
        args.push_back(cmdline.substr(start, end - start));
        start = end + 1;
    }
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::fflush(nullptr);
    ::execv(wideToUtf8(exe).c_str(), argv.data());
}

} // namespace korvane
