#include "core/strings.h"

#include <cctype>

namespace korvane {

std::string trimSpace(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

std::string shownText(std::string text) {
    for (char& c : text) {
        auto b = static_cast<unsigned char>(c);
        if ((b < 0x20 && b != '\n' && b != '\t') || b == 0x7F) c = '?';
    }
    return text;
}

} // namespace korvane
