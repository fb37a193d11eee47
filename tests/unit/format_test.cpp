#include "core/build_info.h"
#include "core/format.h"
#include "core/game_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>
#include <vector>

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
        {"a\xC2\x9B"
         "2J\xC2\x80\xC2\x9F|\xC2\xA0",
         32, "a2J|\xC2\xA0"},                     // C1 dropped
        {"Ren\xC3\xA9", 4, "Ren"},                // lead byte is the last allowed byte
        {"\xE2\x82\xAC 5", 32, "\xE2\x82\xAC 5"}, // three-byte euro sign
        {"\xE2\x82\xAC", 2, ""},
        {"\xEF\xBF\xBD", 32, "\xEF\xBF\xBD"}, // the last three-byte lead
        {"\xE0\xA4\x85", 32, "\xE0\xA4\x85"}, // the first (Devanagari)
        {"x\xF0\x9F\x8F\x81y", 32, "xy"},     // emoji: every byte dropped
        {"\xC0\xAF\xC1\x80", 32, ""},         // overlong leads
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

TEST(Deadlines, AsTheMessagesSayThem) {
    for (auto [ms, text] : {std::pair{300000, "5 minutes"}, {60000, "1 minute"}, {2000, "2 s"}})
        EXPECT_EQ(deadlineText(ms), text);
}

// The C library's digits for every value: ties that round to even (binary
// fractions hit one at every count of decimals), the smallest doubles, values
// beyond the exact path's range (1e15: the library writes those itself).
TEST(Fixed, SameDigitsAsPrintf) {
    std::vector<double> values = {0.125, -2.5, 0.045, 5e-324, 2.2e-308, -0.0, 999999999999.5, 1e15};
    for (double tie : {0.5, 2.5, -0.125}) // and the doubles either side of a tie
        values.insert(values.end(), {std::nextafter(tie, 9.0), std::nextafter(tie, -9.0)});
    std::mt19937_64 rng(11);
    for (int i = 0; i < 1000; ++i) {
        values.push_back(double(int64_t(rng() % 4000000) - 2000000) / double(1 << (rng() % 21)));
        values.push_back(std::ldexp(double(rng() >> 11), int(rng() % 80) - 90));
    }
    for (double v : values)
        for (int d = 0; d <= 6; ++d) {
            char want[FixedBufferSize];
            std::snprintf(want, sizeof want, "%.*f", d, v);
            ASSERT_EQ(fixed(v, d), want) << v << " with " << d;
        }
}

TEST(FiniteOrZero, Table) {
    struct Case {
        double in, out;
    } cases[] = {{1e301, 0},       {-1e301, 0},  {1e300, 1e300},
                 {-1e300, -1e300}, {-5.0, -5.0}, {0.0, 0.0}};
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
        {"[nan,nan]", "[0,0]"},
    };
    for (const Case& c : cases) {
        std::string doc = c.in;
        neutralizeNonFinite(doc);
        EXPECT_EQ(doc, c.out) << c.in;
    }
}

TEST(GameText, Utf8OrWindows1252) {
    struct Case {
        std::string field;
        size_t maxBytes;
        std::string utf8;
    } cases[] = {
        {"Alex Korva", 32, "Alex Korva"},
        {"M\xC3\xBCller", 32, "M\xC3\xBCller"},         // UTF-8: as it is
        {"\xC5\x81ukasz", 32, "\xC5\x81ukasz"},         // a letter Windows-1252 lacks
        {"x\xF0\x9F\x8F\x81", 32, "x\xF0\x9F\x8F\x81"}, // four bytes are UTF-8 too
        {"\xC2\x80\xE0\xA0\x80\xF0\x90\x80\x80", 32,
         "\xC2\x80\xE0\xA0\x80\xF0\x90\x80\x80"},             // each length's least
        {"\xDF\xBF\xEF\xBD\xB1", 32, "\xDF\xBF\xEF\xBD\xB1"}, // greatest leads: U+07FF, U+FF71
        {"M\xFCller", 32, "M\xC3\xBCller"},                   // Windows-1252
        {"Jos\xE9", 32, "Jos\xC3\xA9"}, // a lead byte at the end of a short name
        {"\x80 \x9F\xFF", 32, "\xE2\x82\xAC \xC5\xB8\xC3\xBF"},
        {"a\x81\x8D\x8F\x90\x9D"
         "b",
         32, "ab"},                                                   // unassigned in Windows-1252
        {"\xC0\xAF", 32, "\xC3\x80\xC2\xAF"},                         // overlong: not UTF-8
        {"\xED\xA0\x80", 32, "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},         // a surrogate: not UTF-8
        {"\xED\xBF\xBF", 32, "\xC3\xAD\xC2\xBF\xC2\xBF"},             // the last surrogate
        {"\xF4\x90\x80\x80", 32, "\xC3\xB4\xE2\x82\xAC\xE2\x82\xAC"}, // above U+10FFFF
        // A UTF-8 name cut where the field ends, with or without its terminator.
        {std::string(30, 'a') + "\xC3", 32, std::string(30, 'a')},
        {std::string(29, 'a') + "\xE2\x82", 32, std::string(29, 'a')},
        {std::string(31, 'a') + "\xC3", 32, std::string(31, 'a')},
        // A lead byte whose follower is no continuation is no cut letter.
        {std::string(30, 'a') + "\xE2" + "A", 32, std::string(30, 'a') + "\xC3\xA2" + "A"},
        // A whole but invalid letter at the end of a full field is no cut one.
        {std::string(29, 'a') + "\xED\xA0\x80", 32,
         std::string(29, 'a') + "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},
        // Not at the end of a full field: Windows-1252.
        {std::string(29, 'a') + "\xC3", 32, std::string(29, 'a') + "\xC3\x83"},
        {std::string("M\xFC\0ller", 7), 32, "M\xC3\xBC"},
        {"M\xFCller", 2, "M\xC3\xBC"},
    };
    for (const Case& c : cases) {
        char field[40] = {};
        std::memcpy(field, c.field.data(), std::min(c.field.size(), sizeof field));
        EXPECT_EQ(gameText(field, c.maxBytes), c.utf8) << c.field;
    }
    EXPECT_EQ(gameText(nullptr, 32), "");
}

namespace {

std::string sanitizedGame(const std::string& field, size_t maxBytes) {
    std::string out(gameJsonTextBytes(maxBytes), '\0');
    out.resize(writeGameJsonText(out.data(), field.c_str(), maxBytes));
    return out;
}

} // namespace

TEST(GameText, JsonBodyOfTheUtf8Form) {
    EXPECT_EQ(sanitizedGame("M\xFCller \"x\"\\", 32), "M\xC3\xBCller \\\"x\\\"\\\\");
    // The most a field can grow: every byte a three-byte letter.
    std::string euros(64, '\x80');
    char out[gameJsonTextBytes(64)];
    ASSERT_EQ(writeGameJsonText(out, euros.data(), 64), gameJsonTextBytes(64));
    EXPECT_EQ(std::string(out, 3), "\xE2\x82\xAC");
    // Four-byte letters stay out of the document, as before.
    EXPECT_EQ(sanitizedGame("x\xF0\x9F\x8F\x81y", 32), "xy");
}
