#include "analysis/steps.h"

namespace korvane {

namespace steps {

void chooseEnergySource(const StintState& st, const RestValues& rest, TickSample& s) {
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
