// The self-update's text routines, and what a build says about itself.
#include "core/strings.h"
#include "platform/text.h"
#include "test_support.h"
#include "update/build_file.h"
#include "update/manifest.h"
#include "update/stage.h"

namespace korvane {
namespace {

TEST(Version, ComparedByTheFirstThreeNumbers) {
    struct Case {
        const char* offered;
        bool newer;
    } cases[] = {
        {"2.1.30", true},       {"2.2", true},       {"10.0.0", true},   {"3", true},
        {"2.1.29", false},      {"2.1.29.1", false}, {"2.1.28", false},  {"", false},
        {"2.1.29-beta", false}, {"2.1.3x0", true},   {"1.99.99", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isNewerVersion(c.offered, "2.1.29"), c.newer) << c.offered;
    EXPECT_EQ(parseVersion("2.1.29-beta"), (std::vector<long>{2, 1, 29}));
    EXPECT_EQ(parseVersion("7"), (std::vector<long>{7, 0, 0}));
    EXPECT_EQ(parseVersion("1..2.3.4"), (std::vector<long>{1, 0, 2, 3, 4}));
}

TEST(ManifestField, ScansTextNotJson) {
    struct Case {
        const char* text;
        const char* key;
        const char* value;
    } cases[] = {
        {R"({"version": "2.1.30", "url":"https://h/p"})", "url", "https://h/p"},
        {R"({"notes":"say \"hi\" now"})", "notes", "say \\"},   // cut at the escaped quote
        {R"({"size": 12, "sha256": "abc"})", "size", "sha256"}, // not a string: the next one
        {R"({"version":"1"})", "versio", ""},                   // whole key only
        {R"({"version"  :  "1"})", "version", "1"},
        {R"({"version": 2})", "version", ""}, // no quote after the colon
        {R"({"version")", "version", ""},
        {"", "url", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(manifestField(c.text, c.key), c.value) << c.text;
}

TEST(SplitHttpsUrl, AcceptsOnlyHttpsWithAPath) {
    struct Case {
        const char* url;
        bool ok;
        const wchar_t* host;
        const wchar_t* path;
    } cases[] = {
        {"https://cdn.example/builds/a.exe?v=2", true, L"cdn.example", L"/builds/a.exe?v=2"},
        {"https://h:8443/x", true, L"h:8443", L"/x"},
        {"https://h/", true, L"h", L"/"},
        {"http://h/x", false},
        {"HTTPS://h/x", false},
        {"https://h", false},
        {"https:///x", false},
        {"", false},
    };
    for (const Case& c : cases) {
        std::wstring host, path;
        EXPECT_EQ(splitHttpsUrl(c.url, host, path), c.ok) << c.url;
        if (c.ok) {
            EXPECT_TRUE(host == c.host && path == c.path) << c.url;
        }
    }
}

TEST(SignaturePath, SuffixBeforeQueryAndFragment) {
    EXPECT_EQ(signaturePath(L"/b/k", ".p7s"), L"/b/k.p7s");
    EXPECT_EQ(signaturePath(L"/b/k?v=2&x=y", ".p7s"), L"/b/k.p7s?v=2&x=y");
    EXPECT_EQ(signaturePath(L"/b/k#top?no", ".p7s"), L"/b/k.p7s#top?no");
}

TEST(ShownText, ControlCharactersBecomeQuestionMarks) {
    struct Row {
        const char* in;
        bool keepLineFeeds;
        const char* out;
    } rows[] = {
        {"Faster\x1b[2J pit\rstops\x7f\x01", false, "Faster?[2J pit?stops??"},
        {"Evil\x1b]0;PWNED\x07", false, "Evil?]0;PWNED?"},
        // C1 as UTF-8: U+009B (CSI) and U+0080..U+009F go, U+00A0 and the
        // letters stay; a lone lead byte at the end goes too.
        {"a\xC2\x9B"
         "2J\xC2\x80\xC2\x9F\xC2\xA0\xC3\xBC\xC2",
         false, "a?2J??\xC2\xA0\xC3\xBC?"},
        // Bytes that are no UTF-8, one "?" each: a lone 0x9B, a stray
        // continuation, an overlong "/", a surrogate, a cut sequence; letters
        // of three and four bytes stay.
        {"[\x9B"
         "2J][\x80][\xC0\xAF][\xED\xA0\x80][\xE2\x82]\xE2\x82\xAC\xF0\x9F\x8F\x81",
         false, "[?2J][?][??][???][??]\xE2\x82\xAC\xF0\x9F\x8F\x81"},
        {"\xE4\xB8x", false, "??x"}, // a lead byte, a follower, then no second one
        {"line\nnext\ttab", false, "line?next tab"},
        {"line\r\nnext\rover\n", true, "line\nnext?over\n"},
    };
    for (const Row& r : rows) EXPECT_EQ(shownText(r.in, r.keepLineFeeds), r.out) << r.in;
    EXPECT_EQ(shownText("one\ntwo"), "one?two"); // lines of its own only when asked
    EXPECT_EQ(shownText(std::wstring(L"shm\x1b]0;x\x07\x9b\u00e9")), L"shm?]0;x??\u00e9");
}

// The note's first line is the version, trimmed; an empty one says nothing.
// The note goes, whatever it held, and its text is shown, never obeyed.
TEST(FinishedUpdate, ReadsTheNoteOnce) {
    const std::string failed =
        "\n  UPDATE DID NOT TAKE: expected 2.1.30?[2J, still running 2.1.29.\n"
        "  The file at the manifest's url is not the 2.1.30?[2J build (or "
        "its sha256 was taken from\n  the old exe). Rebuild, upload, "
        "regenerate companion-latest.json, and clear any CDN cache.\n"
        "  Downloaded 12 bytes.\n\n";
    struct Row {
        const char* note;
        std::string shown;
    } rows[] = {
        {"2.1.29\r\n1234\r\n", "Updated to 2.1.29\n"},
        {" 2.1.29 \r", "Updated to 2.1.29\n"},
        {"\n2.1.30\n", ""},
        {" \t\r\n12\n", ""},
        {"2.1.30\x1b[2J\n12\r\nthird line\n", failed},
    };
    for (const Row& row : rows) {
        test::TempDir dir;
        std::string exe = dir.file("korvane-companion");
        test::writeFile(exe + ".update.expect", row.note);
        std::ostringstream out;
        checkFinishedUpdate(utf8ToWide(exe), out);
        EXPECT_EQ(out.str(), row.shown) << row.note;
        EXPECT_FALSE(std::filesystem::exists(exe + ".update.expect")) << row.note;
    }
}

// The test builds beside the tests: the next version, read from its bytes
// as the update reads a download, on the platform's own file format.
TEST(BuildFile, ReadsTheVersionFromTheBytes) {
    std::string next = test::readFile(KORVANE_NEXT_BUILD);
    ASSERT_GT(next.size(), 4096u);
    EXPECT_EQ(readBuildVersion(next), "2.1.30");
    EXPECT_EQ(readBuildVersion(test::readFile(KORVANE_SHIPPED_BUILD)), "2.1.29");
    // Cut anywhere, or with a broken header, it reads nothing or the truth.
    for (size_t cut = 0; cut < next.size(); cut += next.size() / 97 + 1) {
        std::string got = readBuildVersion(next.substr(0, cut));
        EXPECT_TRUE(got.empty() || got == "2.1.30") << cut << ": " << got;
    }
    std::string broken = next;
    broken[1] = 'X'; // neither "MZ" nor "\x7fELF"
    EXPECT_EQ(readBuildVersion(broken), "");
    EXPECT_EQ(readBuildVersion("MZ"), "");
    EXPECT_EQ(readBuildVersion(""), "");
}

TEST(BuildFile, SameVersionComparesEveryNumber) {
    EXPECT_TRUE(sameVersion("2.1.30", "2.1.30.0"));
    EXPECT_FALSE(sameVersion("2.1.30", "2.1.29"));
    EXPECT_FALSE(sameVersion("2.1.30", "2.1.30.1"));
}

} // namespace
} // namespace korvane
