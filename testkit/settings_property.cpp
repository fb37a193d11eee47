#include "settings_property.h"

#include "setup/discovery.h"

namespace korvane::testkit {

namespace {

// The section the editor adds after the first brace, and the file it writes
// when there is no brace at all.
const std::string AddedSection = std::string("\n  \"") + PluginName +
                                 "\": {\n    \" Enabled\": 1,\n    \"EnableDirectMemoryAccess\": 0,"
                                 "\n    \"UnsubscribedBuffersMask\": 0\n  }";
const std::string NewSettingsFile =
    std::string("{\n  \"") + PluginName + "\": {\n    \" Enabled\": 1\n  }\n}\n";

} // namespace

std::string settingsEditViolation(const std::string& in, const std::string& out) {
    if (in.find(PluginName) != std::string::npos) {
        if (out.size() != in.size()) return "the size changed";
        size_t changed = 0;
        for (size_t i = 0; i < in.size(); ++i) {
            if (in[i] == out[i]) continue;
            if (in[i] != '0' || out[i] != '1') return "a byte other than a 0 became a 1";
            // A value: right after a colon and white space.
            size_t before = i ? in.find_last_not_of(" \t\r\n", i - 1) : std::string::npos;
            if (before == std::string::npos || in[before] != ':') return "a 0 that is no value";
            ++changed;
        }
        if (changed > 1) return "more than one digit changed";
    } else if (in.find('{') == std::string::npos) {
        if (out != NewSettingsFile) return "not the new file";
    } else {
        size_t at = in.find('{') + 1;
        if (out.size() < in.size()) return "the file got shorter";
        std::string inserted = out.substr(at, out.size() - in.size());
        if (inserted != AddedSection && inserted != AddedSection + ",")
            return "inserted something else: " + inserted;
        if (out.substr(0, at) + out.substr(at + inserted.size()) != in)
            return "changed more than the insertion";
    }
    PluginStatus st;
    readSettingsFlags(out, st);
    if (!st.hasSettingsEntry || !st.enabled) return "the result does not read as enabled";
    return {};
}

} // namespace korvane::testkit
