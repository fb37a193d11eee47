#pragma once
// The last eight values of a per-lap measurement and their mean. Fixed
// storage: a window never allocates, and nothing ever empties it.
#include <cstddef>

namespace korvane {

struct RollingWindow {
    static constexpr size_t Capacity = 8;
    double values[Capacity] = {};
    size_t count = 0;
    double mean = 0;
    size_t added = 0; // values ever added, the dropped ones included

    void add(double v) {
        if (count == Capacity) {
            for (size_t i = 1; i < Capacity; ++i) values[i - 1] = values[i];
            --count;
        }
        values[count++] = v;
        added += 1;
        double sum = 0;
        for (size_t i = 0; i < count; ++i) sum += values[i];
        mean = sum / double(count);
    }
    bool empty() const { return count == 0; }
};

} // namespace korvane
