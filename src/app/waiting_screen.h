#pragma once
// The screen shown while neither the game's own shared memory nor the
// plugin's buffers can be read: why, the manual fix, and an offer to do it
// where the plugin is the only route.
#include "setup/discovery.h"
#include "telemetry/shared_views.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

struct WaitingScreen {
    // Sections whose names look like the game's or a telemetry plugin's, as
    // the last scan found them.
    std::vector<std::wstring> foundSections;
    uint64_t lastScanMs = 0;   // 0: never scanned
    PluginStatus status;       // as last read
    uint64_t statusReadMs = 0; // 0: read it on the next pass
};

// The process's own; only the main thread touches it.
WaitingScreen& waitingScreen();

using SectionLister = std::vector<std::wstring> (*)(const std::wstring& directory);

// Appends the directory's sections whose lower-case names hold one of the
// game's or the plugins' patterns.
void scanObjectDirectory(WaitingScreen& screen, const std::wstring& directory, SectionLister list);

// Lists the machine's sections again, at most once every 10 seconds.
void scanNamedSections(WaitingScreen& screen, uint64_t nowMs, SectionLister list);
void scanNamedSections();

// Reads the plugin's state on the first pass, on the pass after a fix
// changed the install (statusReadMs reset to 0), and once more than 10
// seconds have passed since the last read: a fix made by hand shows then.
void refreshPluginStatus(WaitingScreen& screen, uint64_t nowMs, PluginStatus (*read)());

// Which explanation applies (see explain in the .cpp): the game's own mapping
// cut short 'S' or without a session 'N'; another plugin 'A'; no install 'B';
// a game that publishes its own interface, switched off 'I', ignoring the
// plugin 'P', in its menus 'G'; then the plugin's route, 'C' to 'G'.
// `sessionRunning`: the game's REST answers show a loaded session.
char waitingCase(const std::vector<std::wstring>& sections, const PluginStatus& status,
                 GameMapping game = GameMapping::Absent, bool sessionRunning = false);

// One pass of the screen, ending with a 2 s sleep.
void waitForGame(const SharedViews& views);

} // namespace korvane
