#pragma once
// Station weights: for the stations reporting at `hour` (value >= threshold),
// the weight of every station in every cell of the grid (ycount x xcount),
// kept in the weighting's own state (weighting/weight_state.h).
#include <cstdint>

#include "platform/console.h"
#include "platform/files.h"
#include "readers/gauge_set.h"
#include "weighting/weight_state.h"

namespace nimbex {

// Where the weighting reports: the console, the information report (null when
// it is not open), the debug level (diagnostics from 1 on) and the
// watershed's cell ranks (rank_ycount x rank_xcount, row-major from row 1)
// for the weight check.
struct WeightReports {
    Console& con;
    FileUnit* info = nullptr;
    int debug = 0;
    const std::int32_t* rank = nullptr;
    int rank_xcount = 0, rank_ycount = 0;
};

// The weighting. Positions are in cell units: cell (i, j) lies at column j,
// row i. For station k at (x_k, y_k) and cell (i, j):
//
//   distance  d = sqrt((x_k - j)^2 + (y_k - i)^2) + smoothing
//   reach     R = max(radius of influence, nearest other station + 2 for every
//               station) + 2: a station with d > R gives the cell nothing, and
//               every station reaches at least beyond its nearest neighbour
//   on cell   d <= 0.99: when reporting stations lie on the cell they share it
//               equally (1 / their count) and every other station gives 0
//   otherwise w_k = d^-power / norm, the norm being the sum of d^-power over
//               the reporting stations within reach of the cell (a norm of 0
//               gives every station 0, not NaN)
//
// A station reports at `hour` when its value there is >= threshold; only
// reporting stations have weights. A single station takes everything,
// everywhere. The cell's value is then the sum of w_k * value_k in station
// order.
void weight(StationWeights& sw, const GaugeSet& stations, const WeightSettings& settings, const WeightReports& out,
            int hour, int nstations, int xcount, int ycount, float threshold);

// d to the integer power n, as d multiplied by itself n times (1.0 for n = 0).
inline float int_power(float d, int n) {
    if (n == 2) return d * d;
    if (n < 0) return 1.0f / int_power(d, -n);
    float r = 1.0f;
    for (int k = 0; k < n; ++k) r *= d;
    return r;
}

}  // namespace nimbex
