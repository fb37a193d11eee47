#pragma once
#include "telemetry/layout.h"

namespace korvane {

// Race sessions only, unless every session type was asked for.
bool sessionAllowed(int32_t sessionType, bool raceOnly);

// The session counts: allowed, running in real time, on a named track, past
// its first second, and in a phase other than 0 and 9.
bool computeSessionOk(const ScoringBuffer& scoring, bool raceOnly);

const char* sessionTypeName(int32_t sessionType);

inline bool isRaceSession(int32_t sessionType) {
    return sessionType >= 10 && sessionType <= 13;
}

} // namespace korvane
