#include "app/options.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace korvane {

namespace {

bool isOption(const char* arg) {
    return arg[0] == '-' || arg[0] == '\0';
}

// "--reserve-laps N" anywhere: a number of laps from 0 to 10, as "1", "1.5"
// or "1,5".
bool readReserve(int argc, const char* const* argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--reserve-laps") != 0) continue;
        std::string text = i + 1 < argc ? argv[i + 1] : "";
        for (char& c : text)
            if (c == ',') c = '.';
        char* end = nullptr;
        double v = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !std::isfinite(v) || v < 0 || v > 10) {
            options.error = "--reserve-laps takes a number of laps from 0 to 10, such as 1 or 1.5";
            return false;
        }
        options.reserveLaps = v;
    }
    return true;
}

} // namespace

ToolRequest firstOptionPass(int argc, const char* const* argv, Options& options) {
    if (!readReserve(argc, argv, options)) return ToolRequest::BadOption;
    bool allFiles = argc >= 2;
    for (int i = 1; i < argc; ++i) allFiles = allFiles && !isOption(argv[i]);
    if (allFiles) {
        for (int i = 1; i < argc; ++i) options.reportFiles.push_back(i);
        return ToolRequest::Dropped;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--all-sessions") == 0)
            options.raceOnly = false;
        else if (std::strcmp(argv[i], "--restdump") == 0)
            return ToolRequest::RestDump;
        else if (std::strcmp(argv[i], "--probe") == 0)
            return ToolRequest::Probe;
        else if (std::strcmp(argv[i], "--record") == 0) {
            options.recordFile = i + 1 < argc ? i + 1 : 0;
            return ToolRequest::Record;
        } else if (std::strcmp(argv[i], "--report") == 0) {
            // Every recording named after it, up to the next option.
            for (int j = i + 1; j < argc && !isOption(argv[j]); ++j)
                options.reportFiles.push_back(j);
            return ToolRequest::Report;
        }
    }
    return ToolRequest::None;
}

void secondOptionPass(int argc, const char* const* argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-update") == 0)
            options.skipUpdate = true;
        else if (std::strcmp(argv[i], "--verbose") == 0)
            options.verbose = true;
    }
}

} // namespace korvane
