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
