#include "app/waiting_screen.h"

#include "core/build_info.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/machine.h"
#include "platform/shm.h"
#include "setup/installer.h"

#include <iostream>

namespace korvane {

namespace {

constexpr uint64_t RefreshMs = 10000;
constexpr size_t ListedSections = 12;
constexpr const char* PluginReleasePage =
    "https://github.com/TheIronWolfModding/rF2SharedMemoryMapPlugin/releases";

void printSettingsPath(const std::string& gameFolder) {
    std::cout << "  " << inFolder(gameFolder, SettingsRelative) << "\n\n";
}

// Prints the case's explanation; true when an offered fix changed the install.
bool explain(char which, const WaitingScreen& screen) {
    const PluginStatus& st = screen.status;
    std::ostream& out = std::cout;
    switch (which) {
    case 'A': {
        out << "A plugin is publishing, but not the buffers Korvane reads.\n\n"
            << "Found on this machine:\n";
        for (size_t i = 0; i < screen.foundSections.size() && i < ListedSections; ++i) {
            out << std::flush;
            consoleWriteWide(L"  " + screen.foundSections[i] + L"\n");
        }
        out << "\nKorvane needs: $rFactor2SMMP_Telemetry$\n"
            << "That comes from rFactor2SharedMemoryMapPlugin64.dll.\n"
            << "(LMU_SMMP_Extended is a different plugin and is not a substitute.)\n";
        return false;
    }
    case 'B':
        out << "Waiting for Le Mans Ultimate...\n\n"
            << "Could not find the game install, so the plugin cannot be checked.\n"
            << "Start the game and load into a session.\n";
        return false;
    case 'C':
        out << "The shared memory plugin is not installed.\n\n"
            << "Korvane reads telemetry through rFactor2SharedMemoryMapPlugin64.dll.\n\n"
            << "  1. Download it:\n"
            << "     " << PluginReleasePage << "\n"
            << "  2. Put the .dll here:\n"
            << "     " << inFolder(st.gameFolder, PluginsRelative) << PathSeparator << "\n"
            << "  3. Restart Le Mans Ultimate\n";
        if (gameFolderReport.size() > 1) {
            out << "\n  More than one Le Mans Ultimate folder was found:\n";
            for (const std::string& line : gameFolderReport) out << "    " << line << "\n";
            out << "  If the plugin is in one of the others, Korvane is looking at the wrong "
                   "copy.\n";
        }
        return offerPluginInstall(st.gameFolder, true);
    case 'D':
        out << "The plugin is installed but has no settings entry.\n\n"
            << "Add a section for it in:\n";
        printSettingsPath(st.gameFolder);
        out << "  \"rFactor2SharedMemoryMapPlugin64.dll\": {\n"
            << "    \" Enabled\": 1\n"
            << "  }\n\n"
            << "The space before Enabled is required - the game ignores the key without it.\n"
            << "Then restart Le Mans Ultimate.\n";
        return offerPluginInstall(st.gameFolder, false);
    case 'E':
        out << "The plugin is installed but switched off.\n\n"
            << "Set \" Enabled\" to 1 in:\n";
        printSettingsPath(st.gameFolder);
        out << "Then restart Le Mans Ultimate.\n";
        return offerPluginInstall(st.gameFolder, false);
    case 'F':
        if (MappingsNeedBridge && isGameRunning()) {
            out << "Le Mans Ultimate is running, but its buffers do not show under /dev/shm.\n"
                << "Under Proton they need a bridge in the game's prefix (or run the Windows "
                   ".exe there).\n";
            return false;
        }
        out << "The plugin is installed and enabled, but nothing is publishing.\n\n"
            << "  1. Start Le Mans Ultimate\n"
            << "  2. Settings > Gameplay > Enable Plugins must be ON\n"
            << "  3. If the plugin was just installed, restart the game\n";
        return false;
    default:
        out << "Le Mans Ultimate is running. Waiting for a session.\n\n"
            << "The plugin's buffers are created on track, not in the menus.\n"
            << "Load into Practice, Qualifying or a Race and this will connect.\n";
        return false;
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

char waitingCase(const std::vector<std::wstring>& sections, const PluginStatus& status) {
    for (const std::wstring& name : sections)
        if (lowerCaseHoldsAny(name, {L"smmp", L"rfactor"})) return 'A';
    if (!status.found) return 'B';
    if (!status.pluginPresent) return 'C';
    if (!status.hasSettingsEntry) return 'D';
    if (!status.enabled) return 'E';
    if (sections.empty()) return 'F';
    return 'G';
}

void waitForGame() {
    WaitingScreen& screen = waitingScreen();
    scanNamedSections();
    consoleClear();
    std::cout << "=== KORVANE COMPANION " << BuildVersion << " ===\n\n";
    refreshPluginStatus(screen, tickCountMs(), readPluginStatus);
    // A fix that changed the install is checked on the very next pass.
    if (explain(waitingCase(screen.foundSections, screen.status), screen)) screen.statusReadMs = 0;
    std::cout << "\nRetrying every 2s...\n" << std::flush;
    sleepMs(2000);
}

} // namespace korvane
