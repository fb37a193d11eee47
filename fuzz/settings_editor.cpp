// The game's plugin settings file: the edit either changes only what it may,
// or refuses and leaves every byte as it was.
#include "setup/settings_editor.h"
#include "settings_property.h"
#include "setup/discovery.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string in(reinterpret_cast<const char*>(data), size), out = in, error;
    korvane::PluginStatus status;
    korvane::readSettingsFlags(in, status);
    if (korvane::editPluginSettings(out, error)) {
        std::string why = korvane::testkit::settingsEditViolation(in, out);
        if (!why.empty()) {
            std::fprintf(stderr, "edit not allowed: %s\n", why.c_str());
            std::abort();
        }
    } else if (out != in || error.empty()) {
        std::abort();
    }
    return 0;
}
