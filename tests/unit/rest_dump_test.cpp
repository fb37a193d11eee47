#include "test_support.h"
#include "tools/rest_dump.h"

#include <map>

using namespace korvane;

namespace {

std::string dump(std::map<std::wstring, std::string> answers) {
    std::ostringstream out;
    RestDumpIo io;
    io.out = &out;
    io.writeWide = [&](const std::wstring& w) { out << std::string(w.begin(), w.end()); };
    io.fetch = [&](const std::wstring& path) {
        RestReply reply;
        reply.body = answers[path];
        // A body of "drop N" stands for an answer too large to read.
        if (reply.body.rfind("drop ", 0) == 0) {
            reply.dropped = true;
            reply.droppedBytes = std::stoull(reply.body.substr(5));
            reply.body.clear();
        }
        return reply;
    };
    restDump(io);
    return out.str();
}

const std::wstring Usage = L"/rest/strategy/usage";

// Only the first endpoint's section, from its header to the next one.
std::string firstSection(const std::string& text) {
    size_t start = text.find("=== GET /rest/strategy/usage");
    size_t end = text.find("\n=== GET", start + 1);
    return text.substr(start, end - start);
}

} // namespace

TEST(RestDump, HeadLengthBoundary) {
    std::string body1200(1200, 'a');
    EXPECT_EQ(firstSection(dump({{Usage, body1200}})),
              "=== GET /rest/strategy/usage   (virtual energy history)\n" + body1200 + "\n");
    std::string body1201 = std::string(1200, 'a') + "energy";
    body1201.resize(1201);
    EXPECT_EQ(firstSection(dump({{Usage, body1201}})),
              "=== GET /rest/strategy/usage   (virtual energy history)\n" + std::string(1200, 'a') +
                  "\n  ... 1 more bytes\n\n");
    std::string withEnergy = std::string(1150, 'a') + "Energy" + std::string(100, 'b');
    EXPECT_EQ(firstSection(dump({{Usage, withEnergy}})),
              "=== GET /rest/strategy/usage   (virtual energy history)\n" +
                  withEnergy.substr(0, 1200) + "\n  ... 56 more bytes\n  ..." +
                  withEnergy.substr(1090, 160) + "...\n\n");
}

TEST(RestDump, TyreWindows) {
    std::string early = std::string(50, 'x') + "TIRE: soft\n" + std::string(40, 'y');
    std::string s = firstSection(dump({{Usage, early}}));
    EXPECT_NE(s.find("  [tire] ..." + early + "...\n\n"), std::string::npos);
    std::string late = std::string(500, 'x') + "TIRE:" + std::string(900, 'z');
    s = firstSection(dump({{Usage, late}}));
    EXPECT_NE(s.find("  [tire] ..." + late.substr(420, 700) + "...\n\n"), std::string::npos);
    std::string tires = "{\"TIRES: all\":1}";
    s = firstSection(dump({{Usage, tires}}));
    EXPECT_EQ(s, "=== GET /rest/strategy/usage   (virtual energy history)\n  [tire] ..." + tires +
                     "...\n\n" + tires + "\n");
}

TEST(RestDump, EnergySnippets) {
    // Five mentions in mixed case within the first 4,000 bytes; an overlapping
    // keyword ("fuelfuel") gets a snippet per match.
    std::string body(3000, '.');
    for (int i = 0; i < 5; ++i) body.replace(200 + 500 * size_t(i), 6, i % 2 ? "ENERGY" : "eNeRgy");
    body.replace(2900, 8, "fuelfuel");
    body[180] = '\n'; // a snippet keeps the answer's line breaks
    std::string s = firstSection(dump({{Usage, body}}));
    size_t count = 0;
    for (size_t p = s.find("\n  ..."); p != std::string::npos; p = s.find("\n  ...", p + 1))
        ++count;
    EXPECT_EQ(count, 1u + 5u + 2u); // the "more bytes" line, 5 energy, 2 fuel
    EXPECT_NE(s.find("  ..." + body.substr(140, 160) + "...\n"), std::string::npos);
    EXPECT_NE(s.find("  ..." + body.substr(2844, 160) + "...\n"), std::string::npos);
}

// Digits that never repeat a 160-byte window and never spell a keyword.
std::string digits(size_t n) {
    std::string s(n, '0');
    uint32_t x = 12345;
    for (char& c : s) {
        x = x * 1103515245u + 12345u;
        c = char('0' + (x >> 16) % 10);
    }
    return s;
}

TEST(RestDump, EnergySearchStopsPastByte4000) {
    std::string body = digits(9000);
    for (size_t p : {3900u, 4100u, 4200u, 8000u}) body.replace(p, 7, "virtual");
    std::string s = firstSection(dump({{Usage, body}}));
    EXPECT_NE(s.find(body.substr(4040, 160)), std::string::npos); // start 4040: printed, then stop
    EXPECT_EQ(s.find(body.substr(4140, 160)), std::string::npos);
}

TEST(RestDump, AnswerTooLargeIsNamedNotShown) {
    EXPECT_EQ(firstSection(dump({{Usage, "drop 17000000"}})),
              "=== GET /rest/strategy/usage   (virtual energy history)\n"
              "  (an answer of 17,000,000 bytes - more than the 16 MiB the program reads, so it "
              "is not used)\n");
    EXPECT_NE(firstSection(dump({{Usage, "drop 0"}})).find("(an answer of more than 16 MiB - "),
              std::string::npos);
}
