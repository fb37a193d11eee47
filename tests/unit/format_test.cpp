#include "core/format.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <string>

using namespace korvane;

TEST(SanitizeJsonText, Table) {
    struct Case {
        std::string field;
        size_t maxBytes;
        std::string out;
    } cases[] = {
        {"plain", 32, "plain"},
        {"a\"b\\c", 32, "a\\\"b\\\\c"},
        {"tab\there", 32, "tab here"},
        {std::string("nl\nbell\x07"
                     "del\x7f"
                     "end"),
         32, "nlbelldelend"},
        {"Ren\xC3\xA9", 32, "Ren\xC3\xA9"},
        {"Ren\xC3\xA9", 4, "Ren"},                // lead byte is the last allowed byte
        {"\xE2\x82\xAC 5", 32, "\xE2\x82\xAC 5"}, // three-byte euro sign
        {"\xE2\x82\xAC", 2, ""},
        {"x\xF0\x9F\x8F\x81y", 32, "xy"}, // emoji: every byte dropped
        {"\xC0\xAF\xC1\x80", 32, ""},     // overlong leads
        {"\x80\xBF stray", 32, " stray"},
        {"\xC3(", 32, "("}, // cut sequence
        {std::string("stop\0hidden", 11), 32, "stop"},
        {"abc", 0, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(sanitizeJsonText(c.field.c_str(), c.maxBytes), c.out) << c.field;
    EXPECT_EQ(sanitizeJsonText(nullptr, 10), "");
}

TEST(SanitizeJsonText, FullFieldNeverReadsPastIt) {
    char field[40];
    std::fill(std::begin(field), std::end(field), 'A');
    field[31] = '\xC3'; // would pair with field[32] if the cut were ignored
    field[32] = '\xA9';
    std::string out = sanitizeJsonText(field, 32);
    EXPECT_EQ(out, std::string(31, 'A'));
}

TEST(FiniteOrZero, Table) {
    struct Case {
        double in, out;
    } cases[] = {{1e301, 0}, {-1e301, 0}, {1e300, 1e300}, {-5.0, -5.0}, {0.0, 0.0}};
    for (const Case& c : cases) EXPECT_EQ(finiteOrZero(c.in), c.out) << c.in;
    EXPECT_EQ(finiteOrZero(std::nan("")), 0.0);
    EXPECT_EQ(finiteOrZero(std::numeric_limits<double>::infinity()), 0.0);
}

TEST(NeutralizeNonFinite, Table) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"{\"a\":nan,\"b\":[inf,-inf],\"c\":-nan}", "{\"a\":0,\"b\":[0,0],\"c\":0}"},
        {"nan,1", "nan,1"}, // index 0 is left alone
        {"{\"a\":NaN,\"b\":Infinity,\"c\":-Infinity}", "{\"a\":0,\"b\":0,\"c\":0}"},
        {"{\"t\":\"banana\",\"u\":\"x,info\"}", "{\"t\":\"banana\",\"u\":\"x,0o\"}"},
        {"[nannan]", "[0nan]"},
        {"{\"a\":1.5}", "{\"a\":1.5}"},
        {":-nan:nan", ":0:0"},
    };
    for (const Case& c : cases) {
        std::string doc = c.in;
        neutralizeNonFinite(doc);
        EXPECT_EQ(doc, c.out) << c.in;
    }
}
