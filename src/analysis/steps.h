#pragma once
// The steps of the per-tick analysis, in the files that own them. Only
// stint.cpp calls them, in its fixed order.
#include "analysis/stint.h"

namespace korvane::steps {

// Energy: choose the source of this tick's percentage.
void chooseEnergySource(const StintState& state, const RestValues& rest, double carPercent,
                        TickSample& s);
// Energy: the per-lap use at a lap boundary.
void recordLapEnergy(StintState& state, const TickSample& s);

// Pit stops: signals, debouncing, arming and the measurement of a stop.
void runPitStep(StintState& state, TickSample& s);
// Pit stops: a tyre change noticed after the pit step still counts for the stop.
void notePitStopTyres(StintState& state, const TickSample& s);

// Tyres: wear percentages and temperatures of this tick.
void readTyres(const VehicleTelemetry& telemetry, const RestValues& rest, TickSample& s);
// Tyres: wear per lap at a clean lap boundary.
void recordLapWear(StintState& state, const TickSample& s, int64_t laps);
// Tyres: change detection, after the lap step.
void detectTyreChange(StintState& state, const VehicleTelemetry& telemetry, TickSample& s);

// Plan: the game's time for the lap that ended (`endedLap`, -1 when none did),
// kept for the pace when it counts.
void gatherLapTime(StintState& state, const TickSample& s, const VehicleScoring& player,
                   int32_t endedLap, bool endedDirty);
// Plan: the plan to the flag from this tick's figures.
void planStep(const StintState& state, const ScoringBuffer& scoring, const VehicleScoring& player,
              TickSample& s);

} // namespace korvane::steps
