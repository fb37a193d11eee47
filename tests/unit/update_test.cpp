// The self-update's text routines and digest.
#include "platform/text.h"
#include "test_support.h"
#include "update/manifest.h"

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

TEST(Utf8ToWide, RoundTrips) {
    for (const char* text : {"", "plain", "Z\xC3\xBCrich \xE2\x80\x94 \xF0\x9F\x8F\x81"}) {
        std::wstring wide = utf8ToWide(text);
        EXPECT_EQ(wideToUtf8(wide), text);
    }
    EXPECT_EQ(utf8ToWide("\xC3\xBC"), L"\u00FC");
}

} // namespace
} // namespace korvane
