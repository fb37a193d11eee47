#pragma once
// Small text scanners for the game's REST answers. They never build a JSON
// tree, tolerate odd shapes, never modify the body and never read outside it.
#include <map>
#include <optional>
#include <string>

namespace korvane {

// The number after "key" (quoted) at or after `from`: past the next ':' and
// any blanks, parsed as strtod parses it.
std::optional<double> findNumberAfterKey(const std::string& body, size_t from,
                                         const std::string& key);

// Energy used per lap, in percent, from the player's series of "ve" fractions.
std::optional<double> scanVeUsage(const std::string& body, const std::string& playerName);

struct TyreWear {
    double values[4];
};

// The four numbers of the last "tyres" array in the player's section.
std::optional<TyreWear> scanTyreWear(const std::string& body, const std::string& playerName);

// Both of the above from one look for the player, which a usage answer late
// in a long race makes worth sharing: it runs to megabytes. The player's name
// is found as it is or written with JSON escapes.
struct UsageScan {
    std::optional<double> vePerLap;
    std::optional<TyreWear> tyres;
};
UsageScan scanUsage(const std::string& body, const std::string& playerName);

// The raw value of the first member between from and to (this level only)
// whose lower-cased key contains `needle`; empty when there is none. A quote
// after a backslash does not end a string.
std::string findFieldText(const std::string& body, size_t from, size_t to,
                          const std::string& needle);

struct StandingsEnergy {
    std::map<std::string, double> energyByDriver; // percent
    std::string matchedKey;
};

// Every car's energy in a standings answer by driver name (its JSON escapes
// decoded); nothing when no car has one.
std::optional<StandingsEnergy> parseStandingsEnergy(const std::string& body);

// A driver's name as the standings scan keys it: the value's text, its JSON
// escapes decoded when it has any.
std::string standingsName(const std::string& body, size_t begin, size_t end);

} // namespace korvane
