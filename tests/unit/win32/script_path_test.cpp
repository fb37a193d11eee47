#include "platform/replace.h"

#include <gtest/gtest.h>

using namespace korvane;

// Paths of folders that do not exist, so no short form stands in: a '%' is
// doubled, a letter the OEM code page (437 in the test prefix) lacks refuses.
TEST(ScriptPathText, PercentDoubledOtherLettersRefused) {
    std::string text;
    ASSERT_TRUE(scriptPathText(L"C:\\no such\\100% R\u00fcben\\k.exe", text));
    EXPECT_EQ(text, "C:\\no such\\100%% R\x81" "ben\\k.exe");
    EXPECT_FALSE(scriptPathText(L"C:\\no such\\\u0141\u00f3d\u017a\\k.exe", text));
}
