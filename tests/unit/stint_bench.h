#pragma once
// A single player's car set up field by field, for hand-computed analysis
// tests. Each tick moves the session clock 0.5 s, as the main loop does.
#include "analysis/session.h"
#include "analysis/stint.h"

#include <cstring>
#include <memory>

namespace korvane::test {

struct StintBench {
    std::unique_ptr<ScoringBuffer> scoring = std::make_unique<ScoringBuffer>();
    std::unique_ptr<TelemetryBuffer> telemetry = std::make_unique<TelemetryBuffer>();
    VehicleScoring& ps = scoring->vehicles[0];
    VehicleTelemetry& pt = telemetry->vehicles[0];
    StintState st;
    RestValues rest;
    bool raceOnly = true;
    TickSample last;

    StintBench() {
        std::strcpy(scoring->trackName, "Spa");
        scoring->sessionType = 10;
        scoring->inRealtime = 1;
        scoring->gamePhase = 5;
        scoring->currentEt = 500;
        scoring->numVehicles = 1;
        telemetry->numVehicles = 1;
        ps.id = pt.id = 7;
        ps.isPlayer = 1;
        pt.lap = 1;
        pt.fuelCapacityLitres = 100;
        pt.fuelLitres = 50;
        pt.rpm = 8000;
        for (auto& w : pt.wheels) {
            w.wear = 1.0;
            w.carcassTempK = 353.15;
        }
        speed(200);
    }
    void speed(double kmh) {
        pt.velocity[0] = kmh / 3.6;
        pt.velocity[1] = pt.velocity[2] = 0;
    }
    // On track at racing speed.
    void drive() {
        ps.inPits = 0;
        ps.pitState = 0;
        ps.inGarageStall = 0;
        speed(200);
        pt.rpm = 8000;
    }
    void pitLane(double kmh = 60) {
        ps.inPits = 1;
        ps.pitState = 0;
        speed(kmh);
        pt.rpm = 4000;
    }
    void box() {
        ps.inPits = 1;
        ps.pitState = 3;
        speed(0);
        pt.rpm = 0;
    }
    void wear(double fl, double fr, double rl, double rr) {
        pt.wheels[0].wear = fl / 100;
        pt.wheels[1].wear = fr / 100;
        pt.wheels[2].wear = rl / 100;
        pt.wheels[3].wear = rr / 100;
    }
    TickSample tick() {
        scoring->currentEt += 0.5;
        last = runStintTick(st, computeSessionOk(*scoring, raceOnly), *scoring, ps, pt, rest);
        return last;
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) tick();
    }
    double et() const { return scoring->currentEt; }
    // Ticks until tracking is on and the first lap start is taken.
    void startTracking() { ticks(3); }
    // Crosses into the next lap with the fuel, energy and wear given.
    void nextLap() {
        pt.lap += 1;
        tick();
    }
};

} // namespace korvane::test
