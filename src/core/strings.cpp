#include "core/strings.h"

#include "platform/text.h"

#include <cctype>
#include <cstdint>

namespace korvane {

std::string trimSpace(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

namespace {

// The length of the well-formed UTF-8 sequence that starts at text[i] and the
// code point it carries; 0 when the bytes there are not one (a stray
// continuation byte, a lone lead byte, an overlong form, a surrogate).
size_t sequenceAt(const std::string& text, size_t i, uint32_t& codePoint) {
    auto b = static_cast<unsigned char>(text[i]);
    size_t n = b < 0x80 ? 1 : b < 0xC2 ? 0 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF5 ? 4 : 0;
    if (n <= 1 || i + n > text.size()) {
        codePoint = b;
        return n == 1 ? 1 : 0;
    }
    codePoint = b & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
        auto c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        codePoint = codePoint << 6 | (c & 0x3F);
    }
    bool overlong = (n == 3 && codePoint < 0x800) || (n == 4 && codePoint < 0x10000);
    bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    return overlong || surrogate || codePoint > 0x10FFFF ? 0 : n;
}

} // namespace

std::string shownText(const std::string& text, bool keepLineFeeds) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        uint32_t c = 0;
        size_t n = sequenceAt(text, i, c);
        char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (n == 0) {
            // Bytes that are no UTF-8 (a lone 0x9B is an 8-bit control
            // introducer to some terminals) are replaced one by one.
            out += '?';
            n = 1;
        } else if (c == '\t') {
            out += ' ';
        } else if (keepLineFeeds && (c == '\n' || (c == '\r' && next == '\n'))) {
            if (c == '\n') out += '\n';
        } else if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
            // C0, DEL and C1: a terminal may take U+009B as it takes ESC [.
            out += '?';
        } else {
            out.append(text, i, n);
        }
        i += n;
    }
    return out;
}

std::wstring shownText(const std::wstring& text) {
    return utf8ToWide(shownText(wideToUtf8(text)));
}

} // namespace korvane
