#include "gamerest/json_scan.h"
#include "gamerest/scanners.h"
#include "race_answers.h"
#include "test_support.h"

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
        {R"({"a")", 0, "a", std::nullopt},    // no colon
        {R"({"a":)", 0, "a", std::nullopt},   // nothing after it
        {R"({"a" junk : 7})", 0, "a", 7.0},   // anything before the colon is skipped
        {R"({"a":1e400})", 0, "a", HUGE_VAL}, // out of range: as strtod reads it
    };
    for (const Case& c : cases) {
        auto v = findNumberAfterKey(c.body, c.from, c.key);
        EXPECT_EQ(v.has_value(), c.value.has_value()) << c.body;
        if (v && c.value) {
            EXPECT_DOUBLE_EQ(*v, *c.value) << c.body;
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
        // The game's own shape: every record's tyres before its ve, so the
        // first ']' closes a tyres array and each record's ve is read instead.
        {R"({"Q":[{"tyres":[1,1,1,1],"ve":0.5}],"P":[{"fuel":0.9,"tyres":[9,9,9,9],"ve":0.95},)"
         R"({"tyres":[8,[7]],"ve":0.9},{"ve":"0.1"},{"tyres":[],"ve":0.85}],"R":[{"ve":0.1}]})",
         5.0},
        {R"({"P":[{"tyres":[9,9,9,9],"ve":0.95}],"R":[{"ve":0.9}]})", std::nullopt},
        {R"({"P":[{"tyres":[1],"ve":0.95,"x":{"n":1}},{"tyres":[1],"ve":0.9,"x":{}}]})", 5.0},
        // The name first stands as no key: the older rule's series alone.
        {R"({"L":["P",{"ve":0.9},{"ve":0.8}]})", 10.0},
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

// The game's answer as it sends it, pretty-printed, three drivers.
TEST(ScanStrategyUsage, RecordedAnswer) {
    std::string body = test::recording("strategy_usage.json");
    struct Case {
        const char* driver;
        std::optional<double> perLap;
        double fl, rr;
    } cases[] = {
        {"Mia Laurent", 4.0, 97.5, 98.0}, // listed first: her array ends before the next name
        {"Alex Korva", 3.5, 92.0, 93.5},
        {"Jonas Berg", std::nullopt, 88.0, 88.5},
    };
    for (const Case& c : cases) {
        std::optional<double> perLap = scanVeUsage(body, c.driver);
        ASSERT_EQ(perLap.has_value(), c.perLap.has_value()) << c.driver;
        if (perLap) {
            EXPECT_NEAR(*perLap, *c.perLap, 1e-9) << c.driver;
        }
        std::optional<TyreWear> wear = scanTyreWear(body, c.driver);
        ASSERT_TRUE(wear) << c.driver;
        EXPECT_DOUBLE_EQ(wear->values[0], c.fl) << c.driver;
        EXPECT_DOUBLE_EQ(wear->values[3], c.rr) << c.driver;
    }
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
        // The player's laps as an array end where it closes: the last record's
        // tyres, not the next driver's nor the first record's.
        {R"({"P":[{"tyres":[1,2,3,4]},{"tyres":[5,6,7,8]}],"Q":[{"tyres":[9,9,9,9]}]})", true, 5,
         8},
        {R"({"P" : [{"n":"]}","tyres":[1,2,3,4]}],"Q":[{"tyres":[9,9,9,9]}]})", true, 1, 4},
        // The name first stands as no key: the older rule's end applies.
        {R"({"L":["P",[{"tyres":[9,9,9,9]},{"tyres":[8,8,8,8]}]]})", true, 9, 9},
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
    EXPECT_EQ(findFieldText(obj, 0, to, "y"), "0.42");    // keys match by substring
    EXPECT_EQ(findFieldText(obj, 0, to, "e"), "Jo Berg"); // the first key that matches
    EXPECT_EQ(findFieldText(obj, 0, to, "missing"), "");
    EXPECT_EQ(findFieldText(obj, 0, 20, "drivername"), ""); // beyond `to`
    EXPECT_EQ(findFieldText(R"({"a":"unterminated})", 0, 18, "a"), "");
    const std::string emptyKey = R"({"":"x","a":"y"})";
    EXPECT_EQ(findFieldText(emptyKey, 0, emptyKey.size(), "a"), "y");
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
        // The game's own key, tried after all the others.
        {"[\n  {\n    \"driverName\": \"A\",\n    \"fuelFraction\": 0.7,\n    \"veFraction\": "
         "0.64\n  },"
         "{\"driverName\":\"B\",\"VEFRACTION\":1.0},{\"driverName\":\"C\",\"veFraction\":0}]",
         {{"A", 64.0}, {"B", 100.0}, {"C", 0.0}},
         "vefraction"},
        {R"([{"driverName":"A","veFraction":0.5,"nrg":0.3}])", {{"A", 30.0}}, "nrg"},
        {R"([{"driver":"","fullName":"B","energy":0.5}])", {{"B", 50.0}}, "energy"}, // empty: next
        {R"([{"driver":"X","driverName":"A","energy":0.5}])", {{"A", 50.0}}, "energy"},
        {R"([{"driverName":"Q\"","energy":0.4}])", {{"Q\"", 40.0}}, "energy"}, // ends in a quote
        // Names as the text they stand for: escapes decoded, a quote after a
        // backslash part of the name.
        {R"([{"driverName":"A\"q","energy":0.5},{"driverName":"M\u00fcller","veFraction":0.25},)"
         R"({"driverName":"Ramírez","veFraction":0.75},{"driverName":"B\\\/x","energy":0.1}])",
         {{"A\"q", 50.0}, {"M\xC3\xBCller", 25.0}, {"Ram\xC3\xADrez", 75.0}, {"B\\/x", 10.0}},
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
    for (const char* none :
         {"", "[]", "{}", R"([{"driverName":"A"}])", R"([{"energy":0.5}])", R"({"no":"array"})",
          R"([{"name":"A","energy":250}])", R"([{"driverName": ,"energy":0.5}])"})
        EXPECT_FALSE(parseStandingsEnergy(none)) << none;
    // An escape at every place of a 64-byte block, the last one included.
    for (size_t pad = 0; pad < 64; ++pad) {
        auto r = parseStandingsEnergy(
            std::string(pad, ' ') + R"([{"driverName":"A\"B","energy":0.5},{"name":"C","nrg":1}])");
        ASSERT_TRUE(r) << pad;
        EXPECT_EQ(r->energyByDriver, (std::map<std::string, double>{{"A\"B", 50}, {"C", 100}}));
    }
}

// The player's name as the buffers give it (UTF-8), found in a usage answer
// that writes it as it is or with escapes, and never in a longer name.
TEST(ScanUsage, PlayerNameAsTheGameWritesIt) {
    auto answer = [](const std::string& key) {
        return R"({"M\u00fcllerX":[{"tyres":[9,9,9,9],"ve":0.5},{"tyres":[9,9,9,9],"ve":0.1}],)"
               R"("Q":[{"tyres":[8,8,8,8],"ve":0.9}],")" +
               key +
               R"(" : [{"tyres":[1,2,3,4],"ve":0.9},{"tyres":[5,6,7,8],"ve":0.85}],)"
               R"("R":[{"tyres":[7,7,7,7],"ve":0.8}]})";
    };
    struct Case {
        std::string name, key;
    } cases[] = {
        {"M\xC3\xBCller", "M\xC3\xBCller"},
        {"M\xC3\xBCller", R"(M\u00fcller)"},
        {"M\xC3\xBCller", R"(M\u00FCller)"},
        {"O\"Brien", R"(O\"Brien)"},
        {"A\\B", R"(A\\B)"},
        {"A/B", R"(A\/B)"},
        {"\xC5\x81\xC3\xB3\xC5\xBA", R"(\u0141\u00f3\u017a)"}, // no letter left as it is
        {"x\xF0\x9F\x8F\x81", R"(x\ud83c\udfc1)"},             // a surrogate pair
        {"\xC3\xBC/", "\xC3\xBC\\/"},                          // its only escape last
        {"\x01x", R"(\u0001x)"}, // six bytes for the one before the plain run
        // What HTML-safe writers escape, and letters no writer needs to.
        {"O'Brien & <Co>+1", R"(O\u0027Brien \u0026 \u003cCo\u003e\u002b1)"},
        {"Max", R"(\u004dax)"},
        {"\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD", R"(\u0418\u0432\u0430\u043d)"},
    };
    for (const Case& c : cases) {
        UsageScan usage = scanUsage(answer(c.key), c.name);
        ASSERT_TRUE(usage.vePerLap && usage.tyres) << c.key;
        EXPECT_NEAR(*usage.vePerLap, 5.0, 1e-9) << c.key;
        EXPECT_DOUBLE_EQ(usage.tyres->values[0], 5) << c.key;
        EXPECT_DOUBLE_EQ(usage.tyres->values[3], 8) << c.key;
    }
    for (const char* absent : {"M\xC3\xBCll", "Mueller", "M\xC3\xBCllerXY", "R\xC3\xA9mi"}) {
        UsageScan usage = scanUsage(answer(R"(M\u00fcller)"), absent);
        EXPECT_FALSE(usage.vePerLap || usage.tyres) << absent;
    }
}

// Answers of the game's shape late in a day's race on a full grid: each
// driver's array found among megabytes, first, last or in between, with its
// name written raw or escaped; every car of the standings read.
TEST(ScanRaceAnswers, FullGridLateInALongRace) {
    testkit::Scenario sc = test::scenarioFile("grid62");
    testkit::ScenarioPlayer player(sc);
    testkit::RaceHistory race = testkit::raceHistory(sc, player.world());
    std::string usage = testkit::usageAnswer(race);
    std::string standings = testkit::standingsAnswer(sc, player.world(), race);
    ASSERT_EQ(race.drivers.size(), 62u);
    EXPECT_GT(usage.size(), 3500000u);
    EXPECT_NEAR(double(standings.size()) / 62, 1900, 200);
    for (const testkit::DriverHistory& d : race.drivers) {
        UsageScan scan = scanUsage(usage, d.name);
        ASSERT_TRUE(scan.vePerLap && scan.tyres) << d.name;
        EXPECT_NEAR(*scan.vePerLap, d.vePerLap, 1e-6) << d.name;
        std::array<double, 4> last = d.tyresAfter(d.laps - 1);
        for (size_t w = 0; w < 4; ++w) EXPECT_DOUBLE_EQ(scan.tyres->values[w], last[w]) << d.name;
    }
    std::optional<StandingsEnergy> energy = parseStandingsEnergy(standings);
    ASSERT_TRUE(energy);
    EXPECT_EQ(energy->matchedKey, "vefraction");
    ASSERT_EQ(energy->energyByDriver.size(), 62u);
    for (const testkit::DriverHistory& d : race.drivers)
        EXPECT_NEAR(energy->energyByDriver[d.name], d.veFraction * 100, 1e-9) << d.name;
}

TEST(JsonEscapes, Decoded) {
    struct Case {
        const char* raw;
        std::string text;
    } cases[] = {
        {R"(a\"b\\c\/d)", "a\"b\\c/d"},
        {R"(\b\f\n\r\t)", "\b\f\n\r\t"},
        {R"(\u0041\u007f\u0080\u07FF\u0800\u20ac\uffff)",
         "A\x7f\xC2\x80\xDF\xBF\xE0\xA0\x80\xE2\x82\xAC\xEF\xBF\xBF"},
        {R"(\ud83c\udfc1)", "\xF0\x9F\x8F\x81"},                             // a surrogate pair
        {R"(\ud83cx)", "\xEF\xBF\xBDx"},                                     // a lone half
        {R"(\ud800\udc00\udbff\udfff)", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"}, // the pairs' ends
        {R"(\ud83c\u0041)", "\xEF\xBF\xBD"
                            "A"},                        // a half, then no low half
        {R"(\udfff\ud800)", "\xEF\xBF\xBD\xEF\xBF\xBD"}, // the halves' outer ends, alone
        {R"(\u12 \x \)", "\\u12 \\x \\"},                // broken escapes stay as written
        {R"(a\u0000b)", std::string("a\0b", 3)},
    };
    for (const Case& c : cases) EXPECT_EQ(json::decodeEscapes(c.raw), c.text) << c.raw;
}

TEST(JsonSearch, FindsWhatStdFindFinds) {
    std::string body = R"({"ve":1,"x":"Ab","ve":2})";
    for (std::string needle : {"\"ve\"", "Ab", "2}", "{", "})", "\"ve\":2}", "zz", ""})
        for (size_t from : {size_t(0), size_t(1), size_t(17), body.size(), body.size() + 1})
            EXPECT_EQ(json::findText(body, needle, from), body.find(needle, from))
                << needle << " from " << from;
    // A stop byte at the end of the range is outside it.
    auto comma = [](size_t, char c) { return c == ','; };
    EXPECT_EQ(json::firstOutsideStrings(body, 0, 7, comma), json::npos);
    EXPECT_EQ(json::firstOutsideStrings(body, 0, 8, comma), 7u);
}
