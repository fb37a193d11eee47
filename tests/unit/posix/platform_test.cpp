// A publisher on Linux can cut its file short at any moment, also right
// after the program checked it; no read of a view may end the program.
#include "platform/shm.h"
#include "tools/probe.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <unistd.h>

using namespace korvane;

TEST(MappedView, AFileCutShortReadsAsZerosAndIsNoLongerCurrent) {
    // Not one of the game's names: this runs outside any namespace.
    std::string name = "korvane-test-cut-" + std::to_string(getpid());
    const size_t size = 65536;
    OwnedMapping owned;
    std::string err;
    ASSERT_TRUE(createMapping(name.c_str(), size, owned, err)) << err;
    owned.data[40000] = 7;
    MappedView view = openMappingView(name.c_str(), size);
    ASSERT_NE(view.data, nullptr);
    const volatile uint8_t* bytes = view.data;
    EXPECT_EQ(bytes[40000], 7);
    EXPECT_TRUE(mappingViewCurrent(view));

    ASSERT_EQ(truncate(("/dev/shm/" + name).c_str(), 100), 0);
    EXPECT_EQ(bytes[40000], 0);
    EXPECT_EQ(bytes[10], 0); // the whole view, also what the file still holds
    EXPECT_FALSE(mappingViewCurrent(view));
    // The probe reads every offset without checking in between.
    std::ostringstream out;
    probeRun(
        view.data, nullptr, 2, [] {}, out);

    // Grown back to its size, the file is still not what the view shows: only
    // opening it again does.
    ASSERT_EQ(truncate(("/dev/shm/" + name).c_str(), off_t(size)), 0);
    EXPECT_FALSE(mappingViewCurrent(view));
    closeMappingView(view);
    destroyMapping(owned);
}
