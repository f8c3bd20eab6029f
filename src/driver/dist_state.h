#pragma once
// Work grids of the hourly distribution.
//
// The grids p, psum, pmax, run_total, remaining and outarray cover the
// precipitation (pdl) grid: ny rows by nx columns, row-major from row 1, so
// cell (i, j) is at (i-1)*nx + (j-1).
//
// weights holds, per station, one contiguous block over the cells of the grid
// the last weight call was made for (w_ycount rows by w_xcount columns,
// row-major from row 1): station k's weight in cell (i, j) is at
// (k-1)*w_cells + (i-1)*w_xcount + (j-1).
#include <cstddef>
#include <vector>

namespace nimbex {

struct DistState {
    int nx = 0, ny = 0;  // pdl grid the grids were made for

    std::vector<float> p, psum, pmax, run_total, remaining, outarray;

    std::vector<float> weights;
    int w_xcount = 0, w_ycount = 0;
    std::size_t w_cells = 0;

    std::vector<char> station_has_data;  // 1-based, element 0 unused

    int first_stations = 0;  // station count of the first event
    int alloc_hours = 0;     // largest hour count the arrays were made for
    int alloc_stations = 0;  // station count the arrays now cover

    // The event's switch and start, filled by the driver before the distribution.
    char smrflg = 'n';
    int start_year = 0, start_month = 1, start_day = 1, start_hour = 0;

    bool spurious_removed = false;  // set by prepare_gauge_data

    std::size_t cell(int i, int j) const { return static_cast<std::size_t>(i - 1) * nx + (j - 1); }
    float* station_weights(int k) { return weights.data() + static_cast<std::size_t>(k - 1) * w_cells; }
    const float* station_weights(int k) const { return weights.data() + static_cast<std::size_t>(k - 1) * w_cells; }
    float weight_at(int i, int j, int k) const {
        return station_weights(k)[static_cast<std::size_t>(i - 1) * w_xcount + (j - 1)];
    }
};

}  // namespace nimbex
