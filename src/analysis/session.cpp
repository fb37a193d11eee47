#include "analysis/session.h"

namespace korvane {

bool sessionAllowed(int32_t sessionType, bool raceOnly) {
    return !raceOnly || isRaceSession(sessionType);
}

bool computeSessionOk(const ScoringBuffer& scoring, bool raceOnly) {
    return sessionAllowed(scoring.sessionType, raceOnly) && scoring.inRealtime != 0 &&
           scoring.trackName[0] != '\0' && scoring.currentEt > 1.0 && scoring.gamePhase != 0 &&
           scoring.gamePhase != 9;
}

const char* sessionTypeName(int32_t t) {
    if (t == 0) return "test day";
    if (t >= 1 && t <= 4) return "practice";
    if (t >= 5 && t <= 8) return "qualifying";
    if (t == 9) return "warmup";
    if (t >= 10 && t <= 13) return "race";
    return "unknown";
}

} // namespace korvane
