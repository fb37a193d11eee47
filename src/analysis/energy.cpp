#include "analysis/steps.h"

namespace korvane {

namespace steps {

// The car's own field comes first: it is read in the same moment as the fuel
// and the lap, where the game's answers are up to a poll old. Zero is what a
// car without an energy allowance shows, so it gives way to the others.
void chooseEnergySource(const StintState& st, const RestValues& rest, double carPercent,
                        TickSample& s) {
    if (carPercent > 0.0 && carPercent <= 100.5) {
        s.energyPercent = carPercent;
        s.energySource = EnergySource::Car;
        return;
    }
    if (rest.veValid && rest.vePercent >= 0.0 && rest.vePercent <= 100.5) {
        s.energyPercent = rest.vePercent;
        s.energySource = EnergySource::Rest;
        return;
    }
    s.energyPercent = -1;
    s.energySource = EnergySource::None;
    if (st.pitMenu.energyPercent >= 0) {
        s.energyPercent = st.pitMenu.energyPercent;
        s.energySource = EnergySource::PitMenu;
    }
}

void recordLapEnergy(StintState& st, const TickSample& s) {
    st.energyUsedLastLap.reset();
    if (s.energyPercent < 0 || st.lapStartEnergy < 0) return;
    double used = st.lapStartEnergy - s.energyPercent;
    st.energyUsedLastLap = used;
    if (used > 0.05 && used < 25.0) {
        st.energyWindow.add(used);
        st.energyAverage = st.energyWindow.mean;
    }
}

} // namespace steps

double energyPerLap(const StintState& st, double restVePerLap) {
    return restVePerLap > 0.0 ? restVePerLap : st.energyAverage;
}

double estimatedEnergyLaps(double energyPercent, double perLap) {
    return perLap > 0.01 ? energyPercent / perLap : 0.0;
}

} // namespace korvane
