#include "app/waiting_screen.h"

#include "core/build_info.h"
#include "core/screen_feed.h"
#include "core/snapshot.h"
#include "core/strings.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/machine.h"
#include "platform/shm.h"
#include "setup/installer.h"
#include "telemetry/game_layout.h"

#include <iostream>

namespace korvane {

namespace {

constexpr uint64_t RefreshMs = 10000;
constexpr size_t ListedSections = 12;
constexpr const char* PluginReleasePage =
    "https://github.com/TheIronWolfModding/rF2SharedMemoryMapPlugin/releases";

// The switch that governs the game's own shared memory, as it is named in
// the game's settings.
constexpr const char* GameSwitch = "Settings > Gameplay > Enable Plugins";

void explainOwnInterface(char which, std::ostream& out) {
    switch (which) {
    case 'S':
        out << "Le Mans Ultimate's own shared memory (" << GameDataMappingName << ") is there,\n"
            << "but smaller than the 324,820 bytes this build reads: the game was\n"
            << "probably updated past what this build knows. Look for a newer Korvane\n"
            << "Companion; meanwhile the rFactor 2 plugin still works as a second route.\n";
        return;
    case 'N':
        out << "Le Mans Ultimate is running. Waiting for a session.\n\n"
            << "Its own shared memory is there and fills once you are on track.\n"
            << "Load into Practice, Qualifying or a Race and this will connect.\n";
        return;
    case 'P':
        out << "The plugin is installed and switched on, but the game does not load it:\n"
            << "a session is running and its buffers never appeared. (Some game versions\n"
            << "ignore it, and another tool may have replaced its DLL.)\n\n"
            << "No plugin is needed: this game publishes its own shared memory.\n";
        break;
    default:
        out << "Le Mans Ultimate publishes its own shared memory - no plugin is needed -\n"
            << "but it is not there.\n\n";
        break;
    }
    out << "  1. In the game: " << GameSwitch << " must be ON\n"
        << "     (the same switch governs the game's own shared memory)\n"
        << "  2. Restart Le Mans Ultimate and load into a session\n";
}

// The route through the plugin: true when an offered fix changed the install.
bool explainPlugin(char which, const WaitingScreen& screen, std::ostream& out) {
    const PluginStatus& st = screen.status;
    switch (which) {
    case 'C':
        out << "Neither the game's own shared memory nor the plugin is there.\n"
            << "This game version does not publish its own; Korvane reads telemetry\n"
            << "through rFactor2SharedMemoryMapPlugin64.dll.\n\n"
            << "  1. Download it:\n"
            << "     " << PluginReleasePage << "\n"
            << "  2. Put the .dll here:\n"
            << "     " << shownText(inFolder(st.gameFolder, PluginsRelative)) << PathSeparator
            << "\n"
            << "  3. Restart Le Mans Ultimate\n";
        if (gameFolderReport.size() > 1) {
            out << "\n  More than one Le Mans Ultimate folder was found:\n";
            for (const std::string& line : gameFolderReport)
                out << "    " << shownText(line) << "\n";
            out << "  If the plugin is in one of the others, Korvane is looking at the wrong "
                   "copy.\n";
        }
        return offerPluginInstall(st.gameFolder, true);
    case 'D':
        out << "The plugin is installed but has no settings entry.\n\n"
            << "Add a section for it in:\n"
            << "  " << shownText(inFolder(st.gameFolder, SettingsRelative)) << "\n\n"
            << "  \"rFactor2SharedMemoryMapPlugin64.dll\": {\n"
            << "    \" Enabled\": 1\n"
            << "  }\n\n"
            << "The space before Enabled is required - the game ignores the key without it.\n"
            << "Then restart Le Mans Ultimate.\n";
        return offerPluginInstall(st.gameFolder, false);
    case 'E':
        out << "The plugin is installed but switched off.\n\n"
            << "Set \" Enabled\" to 1 in:\n"
            << "  " << shownText(inFolder(st.gameFolder, SettingsRelative)) << "\n\n"
            << "Then restart Le Mans Ultimate.\n";
        return offerPluginInstall(st.gameFolder, false);
    default:
        out << "The plugin is installed and enabled, but nothing is publishing.\n\n"
            << "  1. Start Le Mans Ultimate\n"
            << "  2. " << GameSwitch << " must be ON\n"
            << "  3. If the plugin was just installed, restart the game\n";
        return false;
    }
}

// Prints the case's explanation; true when an offered fix changed the install.
bool explain(char which, const WaitingScreen& screen) {
    std::ostream& out = std::cout;
    switch (which) {
    case 'A':
        out << "A plugin is publishing, but not the buffers Korvane reads.\n\n"
            << "Found on this machine:\n";
        for (size_t i = 0; i < screen.foundSections.size() && i < ListedSections; ++i) {
            out << std::flush;
            consoleWriteWide(L"  " + shownText(screen.foundSections[i]) + L"\n");
        }
        out << "\nKorvane needs: " << GameDataMappingName << " (the game's own, " << GameSwitch
            << " ON)\n"
            << "or $rFactor2SMMP_Telemetry$ from rFactor2SharedMemoryMapPlugin64.dll.\n"
            << "(LMU_SMMP_Extended is a different plugin and is not a substitute.)\n";
        return false;
    case 'B':
        out << "Waiting for Le Mans Ultimate...\n\n"
            << "Could not find the game install, so the plugin cannot be checked.\n"
            << "Start the game and load into a session (with " << GameSwitch << " ON,\n"
            << "the game publishes its own shared memory and needs no plugin).\n";
        return false;
    case 'G':
        out << "Le Mans Ultimate is running. Waiting for a session.\n\n"
            << "Its shared memory is created on track, not in the menus.\n"
            << "Load into Practice, Qualifying or a Race and this will connect.\n";
        return false;
    case 'S':
    case 'N':
    case 'I':
    case 'P':
        explainOwnInterface(which, out);
        return false;
    case 'F':
        if (MappingsNeedBridge && isGameRunning()) {
            out << "Le Mans Ultimate is running, but nothing it publishes shows under /dev/shm:\n"
                << "  /dev/shm/" << GameDataMappingName << "  (the game's own)\n"
                << "  /dev/shm/" << TelemetryMappingName << "  (the plugin's)\n"
                << "Under Proton they need a bridge in the game's prefix (or run the Windows "
                   ".exe there).\n";
            return false;
        }
        [[fallthrough]];
    default:
        return explainPlugin(which, screen, out);
    }
}

} // namespace

WaitingScreen& waitingScreen() {
    static WaitingScreen screen;
    return screen;
}

void scanObjectDirectory(WaitingScreen& screen, const std::wstring& directory, SectionLister list) {
    for (const std::wstring& name : list(directory))
        if (lowerCaseHoldsAny(name,
                              {L"rfactor", L"lmu", L"smmp", L"telemetry", L"scoring", L"lemans"}))
            screen.foundSections.push_back(name);
}

void scanNamedSections(WaitingScreen& screen, uint64_t nowMs, SectionLister list) {
    if (screen.lastScanMs != 0 && nowMs - screen.lastScanMs < RefreshMs) return;
    screen.lastScanMs = nowMs;
    screen.foundSections.clear();
    for (const std::wstring& directory : sectionDirectories())
        scanObjectDirectory(screen, directory, list);
}

void scanNamedSections() {
    scanNamedSections(waitingScreen(), tickCountMs(), sectionNamesIn);
}

void refreshPluginStatus(WaitingScreen& screen, uint64_t nowMs, PluginStatus (*read)()) {
    if (screen.statusReadMs != 0 && nowMs - screen.statusReadMs <= RefreshMs) return;
    screen.status = read();
    screen.statusReadMs = nowMs;
}

char waitingCase(const std::vector<std::wstring>& sections, const PluginStatus& status,
                 GameMapping game, bool sessionRunning) {
    if (game == GameMapping::Short) return 'S';
    if (game == GameMapping::NoSession) return 'N';
    for (const std::wstring& name : sections)
        if (lowerCaseHoldsAny(name, {L"smmp", L"rfactor"})) return 'A';
    if (!status.found) return 'B';
    // A game that publishes its own interface is never pushed a DLL.
    if (status.gameInterface) {
        if (sessionRunning && status.pluginPresent && status.enabled) return 'P';
        if (sessionRunning || sections.empty()) return 'I';
        return 'G';
    }
    if (!status.pluginPresent) return 'C';
    if (!status.hasSettingsEntry) return 'D';
    if (!status.enabled) return 'E';
    if (sections.empty()) return 'F';
    return 'G';
}

void waitForGame(const SharedViews& views) {
    WaitingScreen& screen = waitingScreen();
    scanNamedSections();
    // The status screen's last drawing goes out before this one.
    settleScreen();
    consoleClear();
    std::cout << "=== KORVANE COMPANION " << BuildVersion << " ===\n\n";
    refreshPluginStatus(screen, tickCountMs(), readPluginStatus);
    char which = waitingCase(screen.foundSections, screen.status, gameMappingState(views),
                             gameAnswersSession(restSnapshot()));
    // A fix that changed the install is checked on the very next pass.
    if (explain(which, screen)) screen.statusReadMs = 0;
    std::cout << "\nRetrying every 2s...\n" << std::flush;
    sleepMs(2000);
}

} // namespace korvane
