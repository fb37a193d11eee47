#pragma once
// Values compiled into the program.

namespace korvane {

inline constexpr const char* BuildVersion = "2.1.29";

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
