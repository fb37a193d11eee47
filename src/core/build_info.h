#pragma once
// Values compiled into the program.

namespace korvane {

// The version this build calls itself; defined in the executable's own
// version object, so a test build of another version shares everything else.
extern const char* const BuildVersion;

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
