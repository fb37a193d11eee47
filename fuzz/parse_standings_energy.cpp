// The game's standings answer: every car's energy by driver name. The scan
// reads each car in one pass; it must find what the rules find when written
// the slow, obvious way, one field lookup per needle in order.
#include "gamerest/json_scan.h"
#include "gamerest/scanners.h"

#include <cmath>
#include <cstdlib>

namespace {

using korvane::StandingsEnergy;

std::optional<StandingsEnergy> slowStandingsEnergy(const std::string& body) {
    if (body.empty()) return std::nullopt;
    size_t first = body.find_first_not_of(" \t\r\n");
    size_t i = 0;
    if (first != std::string::npos && body[first] == '{') {
        i = body.find('[');
        if (i == std::string::npos) return std::nullopt;
    }
    StandingsEnergy out;
    bool inString = false;
    int depth = 0;
    size_t objectStart = std::string::npos;
    for (; i < body.size(); ++i) {
        char c = body[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{') {
            if (depth++ == 0) objectStart = i;
        } else if (c == '}' && --depth == 0 && objectStart != std::string::npos) {
            std::string name;
            for (const char* needle : {"drivername", "driver", "fullname", "name"})
                if (!(name = korvane::findFieldText(body, objectStart, i + 1, needle)).empty())
                    break;
            if (name.find('\\') != std::string::npos) name = korvane::json::decodeEscapes(name);
            for (const char* needle : {"virtualenergy", "currentvirtualenergy", "energyremaining",
                                       "energy", "nrg", "vefraction"}) {
                std::string text = korvane::findFieldText(body, objectStart, i + 1, needle);
                if (name.empty() || text.empty()) continue;
                char* end = nullptr;
                double v = std::strtod(text.c_str(), &end);
                if (end == text.c_str() || !(v >= 0)) continue;
                double pct = v <= 1.0 ? v * 100.0 : v;
                if (!(pct <= 100.5)) continue;
                out.energyByDriver[name] = pct;
                if (out.matchedKey.empty()) out.matchedKey = needle;
                break;
            }
            objectStart = std::string::npos;
        }
    }
    if (out.energyByDriver.empty()) return std::nullopt;
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string body(reinterpret_cast<const char*>(data), size);
    std::optional<StandingsEnergy> fast = korvane::parseStandingsEnergy(body);
    std::optional<StandingsEnergy> slow = slowStandingsEnergy(body);
    if (bool(fast) != bool(slow)) std::abort();
    if (fast &&
        (fast->matchedKey != slow->matchedKey || fast->energyByDriver != slow->energyByDriver))
        std::abort();
    if (fast)
        for (const auto& [name, percent] : fast->energyByDriver)
            if (!std::isfinite(percent)) std::abort();
    return 0;
}
