#include "core/strings.h"

#include <cctype>

namespace korvane {

std::string trimSpace(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

std::string shownText(const std::string& text, bool keepLineFeeds) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        auto b = static_cast<unsigned char>(text[i]);
        auto next = static_cast<unsigned char>(text[i + 1]); // text[size()] is '\0'
        if (b == '\t') {
            out += ' ';
        } else if (keepLineFeeds && (b == '\n' || (b == '\r' && next == '\n'))) {
            if (b == '\n') out += '\n';
        } else if (b < 0x20 || b == 0x7F) {
            out += '?';
        } else if (b == 0xC2 && next >= 0x80 && next <= 0x9F) {
            // U+0080 to U+009F: a terminal may take U+009B as the start of
            // a control sequence, as it takes ESC [.
            out += '?';
            ++i;
        } else {
            out += char(b);
        }
    }
    return out;
}

} // namespace korvane
