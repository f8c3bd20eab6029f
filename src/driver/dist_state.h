#pragma once
// Work grids of the hourly distribution.
//
// The grids p, psum, pmax, run_total, remaining (made only when a step is
// disaggregated) and outarray cover the precipitation (pdl) grid: ny rows by
// nx columns, row-major from row 1, so cell (i, j) is at (i-1)*nx + (j-1).
// The station weights belong to the weighting (weighting/weight_state.h).
#include <cstddef>
#include <vector>

#include "platform/parallel.h"
#include "platform/background_writes.h"

namespace nimbex {

struct DistState {
    int nx = 0, ny = 0;  // pdl grid the grids were made for

    std::vector<float> p, psum, pmax, run_total, remaining, outarray;

    WriteText frame_text;  // text of a grid written directly (kept to avoid reallocation)
    bool frames_in_background = false;  // set by the distribution for its frames
    std::vector<float, UninitAllocator<float>> step_sums;  // weighted sums of the coming steps with rain, one grid per step
    int threads = 0;               // threads for the cell loops; 0 until decided

    std::vector<char> station_has_data;  // 1-based, element 0 unused

    int first_stations = 0;  // station count of the first event
    int alloc_hours = 0;     // largest hour count the arrays were made for
    int alloc_stations = 0;  // station count the arrays now cover

    // The event's switch and start, filled by the driver before the distribution.
    char smrflg = 'n';
    int start_year = 0, start_month = 1, start_day = 1, start_hour = 0;

    bool spurious_removed = false;  // set by prepare_gauge_data

    std::size_t cell(int i, int j) const { return static_cast<std::size_t>(i - 1) * nx + (j - 1); }
    int thread_count() {
        if (threads < 1) threads = thread_count_from_environment();
        return threads;
    }
};

}  // namespace nimbex
