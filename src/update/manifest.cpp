#include "update/manifest.h"

#include <cctype>
#include <cstdlib>

namespace korvane {

std::string manifestField(const std::string& text, const std::string& key) {
    size_t at = text.find("\"" + key + "\"");
    if (at == std::string::npos) return {};
    size_t colon = text.find(':', at + key.size() + 2);
    if (colon == std::string::npos) return {};
    size_t open = text.find('"', colon);
    if (open == std::string::npos) return {};
    size_t close = text.find('"', open + 1);
    if (close == std::string::npos) return {};
    return text.substr(open + 1, close - open - 1);
}

std::string lowerAscii(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<long> parseVersion(const std::string& text) {
    std::vector<long> numbers;
    size_t start = 0;
    for (;;) {
        size_t dot = text.find('.', start);
        std::string piece = text.substr(start, dot == std::string::npos ? dot : dot - start);
        std::string digits;
        for (char c : piece)
            if (c >= '0' && c <= '9') digits += c;
        numbers.push_back(std::strtol(digits.c_str(), nullptr, 10));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    while (numbers.size() < 3) numbers.push_back(0);
    return numbers;
}

bool isNewerVersion(const std::string& offered, const std::string& running) {
    std::vector<long> a = parseVersion(offered), b = parseVersion(running);
    for (size_t i = 0; i < 3; ++i)
        if (a[i] != b[i]) return a[i] > b[i];
    return false;
}

std::wstring signaturePath(const std::wstring& path, const std::string& suffix) {
    size_t end = path.find_first_of(L"?#");
    if (end == std::wstring::npos) end = path.size();
    return path.substr(0, end) + utf8ToWide(suffix) + path.substr(end);
}

bool splitHttpsUrl(const std::string& url, std::wstring& host, std::wstring& path) {
    const std::string scheme = "https://";
    if (url.compare(0, scheme.size(), scheme) != 0) return false;
    size_t slash = url.find('/', scheme.size());
    if (slash == std::string::npos) return false;
    host = utf8ToWide(url.substr(scheme.size(), slash - scheme.size()));
    path = utf8ToWide(url.substr(slash));
    return !host.empty() && !path.empty();
}

} // namespace korvane
