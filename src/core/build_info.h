#pragma once
// Values compiled into the program.
#include <string>

namespace korvane {

// The version this build calls itself; defined in the executable's own
// version object, so a test build of another version shares everything else.
extern const char* const BuildVersion;

// The update trust this build insists on, whatever a manifest says: the exact
// name every update must be signed by (empty: the manifest's signer, if it
// names one), and the one authority trusted for update signatures, as PEM
// (empty: the system's; only where the platform judges the chain itself).
extern const char* const PinnedSigner;
extern const char* const PinnedAuthorityPem;
// The SHA-256 (lower-case hex) of the publisher's public key, as the DER
// SubjectPublicKeyInfo of its certificate holds it; empty: no key pinned.
extern const char* const PinnedKeySha256;

// How long the program waits before it gives up: a whole download, one live
// post (the main loop posts, so a slow service must not hold the ticks), one
// GET of the game's, and the tries of the Windows update script, a second
// apart, to move the new build over a program file still held open. The
// shipped program waits this long; a build with its tests links shorter
// ones, so that no end-to-end run waits out five minutes.
struct Deadlines {
    int downloadMs;
    int postMs;
    int restMs;
    int replaceTries;
};
inline constexpr Deadlines ShippedDeadlines{5 * 60 * 1000, 2000, 5000, 30};
extern const Deadlines BuildDeadlines;

// A deadline as the messages say it: "5 minutes", "2 s".
std::string deadlineText(int ms);

#ifndef KORVANE_SERVICE_HOST
#define KORVANE_SERVICE_HOST "live.korvane.app"
#endif
#define KORVANE_WIDEN2(x) L##x
#define KORVANE_WIDEN(x) KORVANE_WIDEN2(x)

// The Korvane service: one HTTPS host for the live feed, manifests and downloads.
inline constexpr const wchar_t* ServiceHost = KORVANE_WIDEN(KORVANE_SERVICE_HOST);
inline constexpr const char* ServiceHostNarrow = KORVANE_SERVICE_HOST;
inline constexpr int ServicePort = 443;
inline constexpr const char* LivePath = "/api/live";

inline constexpr const char* RoomFileName = "korvane_room.txt";
inline constexpr const char* LiveLogFileName = "korvane_live.log";

} // namespace korvane
