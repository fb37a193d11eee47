#include "gamerest/scanners.h"
#include "test_support.h"

#include <cmath>
#include <cstring>
#include <string_view>

using namespace korvane;

TEST(FindNumberAfterKey, Table) {
    struct Case {
        std::string body;
        size_t from;
        const char* key;
        std::optional<double> value;
    } cases[] = {
        {R"({"a": 1.5})", 0, "a", 1.5},          {"{\"a\" \t:\r\n -2e3,}", 0, "a", -2000.0},
        {R"({"a":"12"})", 0, "a", std::nullopt}, // a quoted number is not a number here
        {R"({"a":x})", 0, "a", std::nullopt},    {R"({"ab":1,"a":2})", 0, "a", 2.0},
        {R"({"a":1,"a":2})", 3, "a", 2.0},       {R"({"a":1})", 4, "a", std::nullopt},
        {R"({"a")", 0, "a", std::nullopt},  // no colon
        {R"({"a":)", 0, "a", std::nullopt}, // nothing after it
        {R"({"a" junk : 7})", 0, "a", 7.0}, // anything before the colon is skipped
    };
    for (const Case& c : cases) {
        auto v = findNumberAfterKey(c.body, c.from, c.key);
        EXPECT_EQ(v.has_value(), c.value.has_value()) << c.body;
        if (v && c.value) {
            EXPECT_DOUBLE_EQ(*v, *c.value) << c.body;
        }
    }
}

// Numbers read exactly as strtod reads them, bit for bit, whatever shortcut
// the reader takes for plain decimals.
TEST(FindNumberAfterKey, ReadsAsStrtodDoes) {
    for (const char* text : {"0.675",
                             "1.",
                             "1e5",
                             "1e400",
                             "1e-400",
                             "00012",
                             "0x1A",
                             "0X1p3",
                             "12abc",
                             "1.5e+",
                             "9007199254740993",
                             "0.1000000000000000055511151231257827",
                             "2.2250738585072011e-308",
                             "4.9e-324",
                             "1.7976931348623157e308",
                             "-3",
                             "+4",
                             " 5",
                             "inf",
                             "nan",
                             ".5",
                             "7,8",
                             "0",
                             "123456789012345678901234567890",
                             "3.14159265358979323846264338327950288"}) {
        std::string body = std::string("\"k\":") + text;
        double expected = std::strtod(text, nullptr);
        auto v = findNumberAfterKey(body, 0, "k");
        ASSERT_TRUE(v) << text;
        if (std::isnan(expected)) {
            EXPECT_TRUE(std::isnan(*v)) << text;
        } else {
            EXPECT_EQ(std::memcmp(&*v, &expected, sizeof expected), 0) << text << " read as " << *v;
        }
    }
}

TEST(ScanVeUsage, Series) {
    struct Case {
        std::string body;
        std::optional<double> perLap;
    } cases[] = {
        {R"({"P":[{"ve":0.95},{"ve":0.90},{"ve":0.85},{"ve":1.00},{"ve":0.80}]})", 10.0},
        {R"({"P":[{"ve":0.95}]})", std::nullopt},
        {R"({"P":[{"ve":0.95},{"ve":0.95}]})", std::nullopt}, // no drop
        {R"({"P":[{"ve":0.9},{"ve":0.3}]})", std::nullopt},   // 0.6: implausible
        {R"({"P":[{"ve":0.9},{"ve":"0.8"}]})", std::nullopt}, // series stops at a string
        {R"({"Q":[{"ve":0.9},{"ve":0.8}],"P":[{"ve":0.5}]})", std::nullopt},
        {R"({"P":[{"ve":0.9}],"Q":[{"ve":0.8}]})", std::nullopt}, // only up to the first ']'
        {R"({"P":[{"ve":0.9},{"ve":0.85}]})", 5.0},
    };
    for (const Case& c : cases) {
        auto v = scanVeUsage(c.body, "P");
        ASSERT_EQ(v.has_value(), c.perLap.has_value()) << c.body;
        if (v) {
            EXPECT_NEAR(*v, *c.perLap, 1e-9) << c.body;
        }
    }
    EXPECT_FALSE(scanVeUsage(R"({"":[{"ve":0.9},{"ve":0.8}]})", ""));
}

TEST(ScanTyreWear, Table) {
    struct Case {
        std::string body;
        bool found;
        double fl, rr;
    } cases[] = {
        {R"({"P":{"tyres":[0.9,0.8,0.7,0.6]}]})", true, 0.9, 0.6},
        {R"({"P":{"tyres":[0.9,0.8,0.7,0.6],"x":1,"tyres":[95, 94 ,93,  92]}]})", true, 95, 92},
        {R"({"P":{"tyres":[0.9,0.8,0.7]}]})", false, 0, 0},
        {R"({"P":{"tyres":["a",1,2,3]}]})", false, 0, 0},
        {R"({"P":{"x":1}]},"Q":{"tyres":[1,2,3,4]}})", false, 0, 0}, // after the player's "]}"
        {R"({"P":{"tyres":[1,2,3,4]})", true, 1, 4},                 // no "]}" at all
        {R"({"Q":{"tyres":[1,2,3,4]}]})", false, 0, 0},
        {R"({"P":{"tyres":[1,2,3,4)", true, 1, 4},
    };
    for (const Case& c : cases) {
        auto v = scanTyreWear(c.body, "P");
        ASSERT_EQ(v.has_value(), c.found) << c.body;
        if (v) {
            EXPECT_DOUBLE_EQ(v->values[0], c.fl) << c.body;
            EXPECT_DOUBLE_EQ(v->values[3], c.rr) << c.body;
        }
    }
}

TEST(FindFieldText, Members) {
    std::string obj =
        R"({"Name":{"first":"A"}, "driverName" : "Jo Berg" , "Energy": 0.42 ,"x":[1,{"nrg":2}],"zz":3})";
    size_t to = obj.size();
    EXPECT_EQ(findFieldText(obj, 0, to, "name"), "Jo Berg"); // nested object skipped
    EXPECT_EQ(findFieldText(obj, 0, to, "energy"), "0.42");
    EXPECT_EQ(findFieldText(obj, 0, to, "nrg"), ""); // only inside a nested value
    EXPECT_EQ(findFieldText(obj, 0, to, "zz"), "3");
    EXPECT_EQ(findFieldText(obj, 0, to, "y"), "0.42"); // keys match by substring
    EXPECT_EQ(findFieldText(obj, 0, to, "missing"), "");
    EXPECT_EQ(findFieldText(obj, 0, 20, "drivername"), ""); // beyond `to`
    EXPECT_EQ(findFieldText(R"({"a":"unterminated})", 0, 18, "a"), "");
}

TEST(ParseStandingsEnergy, CarsAndKeys) {
    struct Case {
        std::string body;
        std::map<std::string, double> energy;
        const char* key;
    } cases[] = {
        {R"([{"driverName":"A","virtualEnergy":0.42},{"driverName":"B","virtualEnergy":42}])",
         {{"A", 42.0}, {"B", 42.0}},
         "virtualenergy"},
        {R"({"cars":[{"DRIVERNAME":"A","VirtualEnergy":1.0}]})", {{"A", 100.0}}, "virtualenergy"},
        {R"([{"name":"A","energy":1.5},{"name":"B","energy":250},{"name":"C","nrg":"55"}])",
         {{"A", 1.5}, {"C", 55.0}},
         "energy"},
        {R"([{"name":{"first":"X"},"fullName":"Y","energy":0.5}])", {{"Y", 50.0}}, "energy"},
        {R"([{"driver":"A","energyRemaining":-1,"nrg":0.3}])", {{"A", 30.0}}, "nrg"},
        {R"([{"driverName":"A","energy":0.1},{"driverName":"A","energy":0.2}])",
         {{"A", 20.0}},
         "energy"},
    };
    for (const Case& c : cases) {
        auto r = parseStandingsEnergy(c.body);
        ASSERT_TRUE(r) << c.body;
        EXPECT_EQ(r->energyByDriver.size(), c.energy.size()) << c.body;
        for (const auto& [name, pct] : c.energy) {
            ASSERT_TRUE(r->energyByDriver.count(name)) << name << " in " << c.body;
            EXPECT_NEAR(r->energyByDriver.at(name), pct, 1e-9) << c.body;
        }
        EXPECT_EQ(r->matchedKey, c.key) << c.body;
    }
    for (const char* none : {"", "[]", "{}", R"([{"driverName":"A"}])", R"([{"energy":0.5}])",
                             R"({"no":"array"})", R"([{"name":"A","energy":250}])",
                             // no escape handling inside members: the car is lost
                             R"([{"driverName":"A\"q","energy":0.5}])"})
        EXPECT_FALSE(parseStandingsEnergy(none)) << none;
}

// `seed` with `changes` bytes replaced by bytes of `alphabet`, at places and
// with bytes drawn from the xorshift state `x`.
std::string mutated(std::string seed, int changes, std::string_view alphabet, uint32_t& x) {
    for (int k = 0; k < changes && !seed.empty(); ++k) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        seed[x % seed.size()] = alphabet[(x >> 8) % alphabet.size()];
    }
    return seed;
}

// The standings rules written the slow, obvious way: a byte-by-byte object
// walk and one field lookup per needle in order.
std::optional<StandingsEnergy> slowStandingsEnergy(const std::string& body) {
    if (body.empty()) return std::nullopt;
    size_t first = body.find_first_not_of(" \t\r\n");
    size_t i = 0;
    if (first != std::string::npos && body[first] == '{') {
        i = body.find('[');
        if (i == std::string::npos) return std::nullopt;
    }
    StandingsEnergy out;
    bool inString = false;
    int depth = 0;
    size_t objectStart = std::string::npos;
    for (; i < body.size(); ++i) {
        char c = body[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{') {
            if (depth++ == 0) objectStart = i;
        } else if (c == '}') {
            if (--depth == 0 && objectStart != std::string::npos) {
                std::string name;
                for (const char* needle : {"drivername", "driver", "fullname", "name"})
                    if (!(name = findFieldText(body, objectStart, i + 1, needle)).empty()) break;
                for (const char* needle : {"virtualenergy", "currentvirtualenergy",
                                           "energyremaining", "energy", "nrg"}) {
                    std::string text = findFieldText(body, objectStart, i + 1, needle);
                    if (name.empty() || text.empty()) continue;
                    char* end = nullptr;
                    double v = std::strtod(text.c_str(), &end);
                    if (end == text.c_str() || !(v >= 0)) continue;
                    double pct = v <= 1.0 ? v * 100.0 : v;
                    if (!(pct <= 100.5)) continue;
                    out.energyByDriver[name] = pct;
                    if (out.matchedKey.empty()) out.matchedKey = needle;
                    break;
                }
                objectStart = std::string::npos;
            }
        }
    }
    if (out.energyByDriver.empty()) return std::nullopt;
    return out;
}

void expectSameStandings(const std::string& body) {
    auto fast = parseStandingsEnergy(body);
    auto slow = slowStandingsEnergy(body);
    ASSERT_EQ(bool(fast), bool(slow)) << body;
    if (!fast) return;
    EXPECT_EQ(fast->matchedKey, slow->matchedKey) << body;
    EXPECT_EQ(fast->energyByDriver, slow->energyByDriver) << body;
}

// The standings scan reads each car in one pass; it must find what the rules
// find one needle at a time, on odd key spellings, empty and nested values,
// escapes and mutations alike.
TEST(ParseStandingsEnergy, SameAsOneLookupPerNeedle) {
    std::vector<std::string> seeds = {
        test::fixture("rest/standings.json"),
        R"([{"vehicleName":"V #1","driverName":"","fullName":"F","NRG":"0.5","energy":""},)"
        R"({"Driver":{"n":1},"name":"N","maxVirtualEnergy":90,"virtualEnergy":0.3,"nrg":1},)"
        R"({"DriverName":"D\"x","currentVirtualEnergy":"  42 ","energyRemaining":0.1},)"
        R"({"name":"E","energy" : 1e400,"nrg":[0.5],"x":{"energy":0.2},"driverEnergy":0.25}])",
        R"({"cars":[{"nameFull":"G","energyremainingX":"7e1","energy":0.9}],"more":[{"name":"H"}]})",
    };
    uint32_t x = 88172645u;
    for (const std::string& seed : seeds) {
        for (size_t n = 0; n <= seed.size(); ++n) expectSameStandings(seed.substr(0, n));
        static const char bytes[] = "\"{}[]:,\\ 0.5eNnDdRrgy";
        for (int round = 0; round < 2000; ++round)
            expectSameStandings(mutated(seed, 4, {bytes, sizeof bytes - 1}, x));
    }
}

// Every prefix and many mutations of real answers: nothing may crash or read
// outside the body (AddressSanitizer watches the reads).
