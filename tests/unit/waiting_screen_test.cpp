// Which explanation the waiting screen gives, and how often it looks again.
#include "app/waiting_screen.h"
#include "platform/machine.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

// Each case from a staged machine is an end-to-end case; here, which one
// wins when several conditions hold at once.
TEST(WaitingCase, APublisherFirstThenTheInstall) {
    PluginStatus none, noPlugin;
    noPlugin.found = true;
    EXPECT_EQ(waitingCase({L"LMU_Data", L"my_SMMP_thing"}, none), 'A');
    EXPECT_EQ(waitingCase({L"RFACTOR"}, noPlugin), 'A');
    EXPECT_EQ(waitingCase({L"LMU_Data"}, none), 'B');
    EXPECT_EQ(waitingCase({L"LMU_Data"}, noPlugin), 'C');
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

int reads = 0;

PluginStatus fakeRead() {
    ++reads;
    return {};
}

TEST(RefreshPluginStatus, FirstPassAfterAFixAndPastTenSeconds) {
    WaitingScreen screen;
    reads = 0;
    std::vector<int> after;
    for (uint64_t now : {5000, 15000, 15001, 25001, 25002}) {
        refreshPluginStatus(screen, now, fakeRead);
        after.push_back(reads);
    }
    EXPECT_EQ(after, (std::vector<int>{1, 1, 2, 2, 3}));
    screen.statusReadMs = 0; // a fix changed the install
    refreshPluginStatus(screen, 25003, fakeRead);
    EXPECT_EQ(reads, 4);
}

} // namespace
} // namespace korvane
