#include "gamerest/scanners.h"
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
        {R"({"P":[{"tyres":[1,2,3,4]},{"tyres":[5,6,7,8]}],"Q":[{"tyres":[9,9,9,9]}]})", true, 5, 8},
        {R"({"P" : [{"n":"]}","tyres":[1,2,3,4]}],"Q":[{"tyres":[9,9,9,9]}]})", true, 1, 4},
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
        // The game's own key, tried after all the others.
        {"[\n  {\n    \"driverName\": \"A\",\n    \"fuelFraction\": 0.7,\n    \"veFraction\": 0.64\n  },"
         "{\"driverName\":\"B\",\"VEFRACTION\":1.0},{\"driverName\":\"C\",\"veFraction\":0}]",
         {{"A", 64.0}, {"B", 100.0}, {"C", 0.0}},
         "vefraction"},
        {R"([{"driverName":"A","veFraction":0.5,"nrg":0.3}])", {{"A", 30.0}}, "nrg"},
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
