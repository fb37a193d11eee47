// Which explanation the waiting screen gives, and how often it looks again.
#include "app/waiting_screen.h"
#include "platform/machine.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

TEST(WaitingCase, FirstConditionThatHolds) {
    PluginStatus none, noPlugin, noEntry, off, ready;
    noPlugin.found = true;
    noEntry = noPlugin;
    noEntry.pluginPresent = true;
    off = noEntry;
    off.hasSettingsEntry = true;
    ready = off;
    ready.enabled = true;
    struct Row {
        std::vector<std::wstring> sections;
        PluginStatus status;
        char expected;
    };
    const Row rows[] = {
        {{L"$rFactor2SMMP_Scoring$"}, ready, 'A'},
        {{L"LMU_Data", L"my_SMMP_thing"}, none, 'A'}, // a publisher beats everything
        {{L"RFACTOR"}, noPlugin, 'A'},
        {{}, none, 'B'},
        {{L"LMU_Data"}, none, 'B'},
        {{}, noPlugin, 'C'},
        {{}, noEntry, 'D'},
        {{}, off, 'E'},
        {{}, ready, 'F'},
        {{L"Global_LeMans_State"}, ready, 'G'},
        {{L"lmu_telemetry", L"scoring"}, ready, 'G'},
    };
    for (const Row& row : rows)
        EXPECT_EQ(waitingCase(row.sections, row.status), row.expected)
            << (row.sections.empty() ? std::string("none")
                                     : std::string(row.sections[0].begin(), row.sections[0].end()));
}

int listings = 0;
std::vector<std::wstring> listed;

std::vector<std::wstring> fakeDirectory(const std::wstring&) {
    ++listings;
    return listed;
}

TEST(ScanNamedSections, KeepsMatchingNamesAndLooksAgainOnlyAfterTenSeconds) {
    WaitingScreen screen;
    size_t directories = sectionDirectories().size();
    listings = 0;
    listed = {L"$rFactor2SMMP_Telemetry$",
              L"Global\\Other",
              L"LMU_Shared",
              L"MyTELEMETRY",
              L"x_Scoring_y",
              L"LeMans",
              L"plain"};
    scanNamedSections(screen, 5000, fakeDirectory);
    std::vector<std::wstring> matching = {L"$rFactor2SMMP_Telemetry$", L"LMU_Shared",
                                          L"MyTELEMETRY", L"x_Scoring_y", L"LeMans"};
    std::vector<std::wstring> expected;
    for (size_t i = 0; i < directories; ++i)
        expected.insert(expected.end(), matching.begin(), matching.end());
    EXPECT_EQ(screen.foundSections, expected);
    EXPECT_EQ(listings, int(directories));

    // Within ten seconds the earlier list stands, whatever appeared since.
    listed = {L"$rFactor2SMMP_Scoring$"};
    scanNamedSections(screen, 14999, fakeDirectory);
    EXPECT_EQ(screen.foundSections, expected);
    EXPECT_EQ(listings, int(directories));

    scanNamedSections(screen, 15000, fakeDirectory);
    EXPECT_EQ(screen.foundSections,
              std::vector<std::wstring>(directories, L"$rFactor2SMMP_Scoring$"));
    listed = {};
    scanNamedSections(screen, 25000, fakeDirectory);
    EXPECT_TRUE(screen.foundSections.empty());
}

} // namespace
} // namespace korvane
