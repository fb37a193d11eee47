#include "app/options.h"

#include <cstring>

namespace korvane {

ToolRequest firstOptionPass(int argc, const char* const* argv, Options& options) {
    if (argc == 2 && argv[1][0] != '-' && argv[1][0] != '\0') {
        options.reportFile = 1;
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
            options.reportFile = i + 1 < argc ? i + 1 : 0;
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
