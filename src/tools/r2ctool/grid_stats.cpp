// Minimum, maximum, mean and total of a grid's values.
#include "tools/r2ctool/grid_stats.h"

#include <cmath>

namespace nimbex::r2ctool {

// Totals are kept in double: a month of hourly frames adds up hundreds of
// thousands of values, and the report should not lose digits doing it.
void GridStats::add(float v) {
    if (std::isnan(v)) {
        ++missing;
        return;
    }
    if (cells == 0 || v < min) min = v;
    if (cells == 0 || v > max) max = v;
    total += v;
    ++cells;
}

void GridStats::finish() { mean = cells > 0 ? total / static_cast<double>(cells) : 0.0; }

GridStats stats_of(const std::vector<float>& values) {
    GridStats s;
    for (float v : values) s.add(v);
    s.finish();
    return s;
}

}  // namespace nimbex::r2ctool
