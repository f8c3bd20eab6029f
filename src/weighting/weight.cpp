// Station weights by inverse distance.
#include "weighting/weight.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <new>
#include <string>

#include "platform/fatal.h"
#include "platform/fortran_format.h"
#include "writers/fast_fixed.h"

namespace nimbex {

namespace {

// Markers left in a station's weight block between the two cell passes; any
// other value there is the station's inverse distance power for that cell.
constexpr float mark_near = -1.0f;      // the station lies on the cell
constexpr float mark_out_of_reach = -2.0f;

constexpr float near_distance = 0.99f;

template <class V>
void make(V& v, std::size_t n, const char* stop_message) {
    try {
        v.clear();
        v.shrink_to_fit();
        v.resize(n);
    } catch (const std::bad_alloc&) {
        fatal_stop(stop_message);
    } catch (const std::length_error&) {
        fatal_stop(stop_message);
    }
}

void make_work_arrays(WeightState& ws, int nstations, std::size_t cells, bool reallocation) {
    const std::size_t n = static_cast<std::size_t>(std::max(nstations, 0));
    const char* re = "Error with re-allocation in weight @ 63";
    make(ws.separation, n * n, reallocation ? re : "Error with allocation of separation() in weight");
    make(ws.nearest_distance, n + 1, reallocation ? re : "Error with allocation of nearest_distance() in weight");
    make(ws.weight_check, cells, reallocation ? re : "**Allocation failed for weight_check()");
    make(ws.near_count, cells, reallocation ? re : "**Allocation failed for sta_relv array in weight @ 47**");
    make(ws.inv_dist_sum, cells, reallocation ? re : "**Allocation failed for sta_relv array in weight @ 47**");
    ws.nstations = nstations;
}

// First pass for one reporting station: its distance from every cell decides
// whether it is out of reach, on the cell, or adds its inverse distance power
// to the cell's sum. Station order is kept per cell, so the sums are those of
// a station loop inside a cell loop.
template <class Power>
void station_pass(float* wk, int* near, float* sum, float sx, float sy, int xcount, int ycount,
                  float smooth, float cutoff, Power power) {
    for (int i = 1; i <= ycount; ++i) {
        const float dy = sy - static_cast<float>(i);
        const float dy2 = dy * dy;
        const std::size_t row = static_cast<std::size_t>(i - 1) * xcount;
        float* w = wk + row;
        int* nc = near + row;
        float* s = sum + row;
        for (int j = 0; j < xcount; ++j) {
            const float dx = sx - static_cast<float>(j + 1);
            const float d = std::sqrt(dx * dx + dy2) + smooth;
            const bool out = d > cutoff;
            const bool on_cell = !out && d <= near_distance;
            const float t = 1.0f / power(d);
            s[j] += (!out && !on_cell) ? t : 0.0f;  // adding +0.0 changes no sum
            nc[j] += on_cell ? 1 : 0;
            w[j] = out ? mark_out_of_reach : (on_cell ? mark_near : t);
        }
    }
}

// Second pass: the markers and inverse distance powers become weights.
void weight_pass(float* wk, const int* near, const float* sum, std::size_t cells) {
    for (std::size_t c = 0; c < cells; ++c) {
        const float v = wk[c];
        const int n = near[c];
        float w;
        if (v == mark_near) {
            w = 1.0f / static_cast<float>(n);
        } else if (v == mark_out_of_reach) {
            w = 0.0f;
        } else if (n == 0) {
            w = v / sum[c];
        } else {
            w = 0.0f;  // another station lies on the cell
        }
        wk[c] = w;
    }
}

void diagnostics(RunState& rs, int hour, int nstations, int xcount, int ycount) {
    WeightState& ws = rs.wts;
    DistState& ds = rs.dist;
    const bool info = rs.files.is_open(51);
    if (info) rs.files[51].put_line(ListLine() << "weight check:");

    const std::size_t cells = static_cast<std::size_t>(xcount) * ycount;
    std::fill(ws.weight_check.begin(), ws.weight_check.begin() + cells, 0.0f);
    // Only cells of the watershed grid have a rank; cells beyond it are not checked.
    const int yc = std::min(ycount, rs.shed.shed_ycount);
    const int xc = std::min(xcount, rs.shed.shed_xcount);
    const bool have_ranks =
        yc > 0 && xc > 0 &&
        rs.shed.rank.size() >= static_cast<std::size_t>(rs.shed.shed_ycount) * rs.shed.shed_xcount;
    if (have_ranks) {
        for (int k = 1; k <= nstations; ++k) {
            const float* wk = ds.station_weights(k);
            for (int i = 1; i <= yc; ++i) {
                const std::size_t row = static_cast<std::size_t>(i - 1) * xcount;
                for (int j = 0; j < xc; ++j) ws.weight_check[row + j] += wk[row + j];
            }
        }
        for (int i = 1; i <= yc; ++i) {
            for (int j = 1; j <= xc; ++j) {
                const std::size_t c = static_cast<std::size_t>(i - 1) * xcount + (j - 1);
                if (rs.shed.rank_at(i, j) <= 0) {
                    ws.weight_check[c] = 0.0f;
                    continue;
                }
                const float sum = ws.weight_check[c];
                if (sum > 1.01f || sum < 0.99f) rs.con.line(msg() << "wt_check" << i << j << sum);
            }
        }
    }

    if (ws.first_call && info) {
        FileUnit& f = rs.files[51];
        std::string line;
        for (int k = 1; k <= nstations; ++k) {
            f.put_line(ListLine() << "recalculated weight for gauge no" << k);
            const float* wk = ds.station_weights(k);
            for (int i = ycount; i >= 1; --i) {
                line.clear();
                const float* row = wk + static_cast<std::size_t>(i - 1) * xcount;
                for (int j = 0; j < xcount; ++j) {
                    if (j > 0 && j % 999 == 0) line += '\n';
                    append_fixed(line, row[j], 5, 2);
                }
                f.put_line(line);
            }
            f.put_line("");
        }
    }

    rs.con.line(msg() << "New weights hr= " << hour);
}

}  // namespace

void weight(RunState& rs, int hour, int nstations, int xcount, int ycount, float threshold) {
    WeightState& ws = rs.wts;
    DistState& ds = rs.dist;
    GaugeSet& g = rs.gauges;
    ++ws.calls;
    xcount = std::max(xcount, 0);
    ycount = std::max(ycount, 0);
    nstations = std::max(nstations, 0);
    const std::size_t cells = static_cast<std::size_t>(xcount) * ycount;

    if (ws.first_call) {
        rs.con.line(msg() << "Allocating with " << nstations << " stations");
        ws.first_count = nstations;
        make_work_arrays(ws, nstations, cells, false);
    }
    if (nstations != ws.first_count) {
        rs.con.line(msg() << "ng,ng_old" << nstations << ws.first_count);
    }
    // More stations than the arrays hold (more than at the first call, or a
    // larger grid): make them again. Arrays that are large enough are kept,
    // since every call rebuilds their content anyway.
    if (ws.nstations < nstations || ws.weight_check.size() < cells) {
        make_work_arrays(ws, std::max(nstations, ws.nstations), std::max(cells, ws.weight_check.size()), true);
    }
    if (ds.weights.size() < static_cast<std::size_t>(nstations) * cells) {
        make(ds.weights, static_cast<std::size_t>(nstations) * cells, "Error with re-allocation in weight @ 63");
    }
    ds.w_xcount = xcount;
    ds.w_ycount = ycount;
    ds.w_cells = cells;

    if (nstations == 1) {
        std::fill(ds.weights.begin(), ds.weights.begin() + cells, 1.0f);
        ws.first_call = false;
        return;
    }

    // Separations between all stations, reporting or not.
    const std::size_t ns = static_cast<std::size_t>(nstations);
    for (int k = 1; k <= nstations; ++k) {
        float nearest = 1.0e32f;
        for (int l = 1; l <= nstations; ++l) {
            const float dx = g.station_x[k] - g.station_x[l];
            const float dy = g.station_y[k] - g.station_y[l];
            const float sep = std::sqrt(dx * dx + dy * dy);
            ws.separation[(k - 1) * ns + (l - 1)] = sep;
            if (l != k && sep < nearest) nearest = sep;
        }
        ws.nearest_distance[k] = nearest;
    }

    float max_reach = rs.radiusinflce < 0.0f ? 0.0f : rs.radiusinflce;
    for (int k = 1; k <= nstations; ++k) {
        const float r = ws.nearest_distance[k] + 2.0f;
        if (r > max_reach) max_reach = r;
    }
    ws.max_reach = max_reach;
    const float cutoff = max_reach + 2.0f;

    std::fill(ws.near_count.begin(), ws.near_count.begin() + cells, 0);
    std::fill(ws.inv_dist_sum.begin(), ws.inv_dist_sum.begin() + cells, 0.0f);
    const float smooth = rs.smoothdist;
    const int pw = rs.idw_power;
    for (int k = 1; k <= nstations; ++k) {
        float* wk = ds.station_weights(k);
        if (!(g.precip(k, hour) >= threshold)) {
            std::fill(wk, wk + cells, 0.0f);
            continue;
        }
        const float sx = g.station_x[k], sy = g.station_y[k];
        int* near = ws.near_count.data();
        float* sum = ws.inv_dist_sum.data();
        switch (pw) {
            case 1:
                station_pass(wk, near, sum, sx, sy, xcount, ycount, smooth, cutoff, [](float d) { return d; });
                break;
            case 2:
                station_pass(wk, near, sum, sx, sy, xcount, ycount, smooth, cutoff, [](float d) { return d * d; });
                break;
            case 3:
                station_pass(wk, near, sum, sx, sy, xcount, ycount, smooth, cutoff,
                             [](float d) { return d * d * d; });
                break;
            default:
                station_pass(wk, near, sum, sx, sy, xcount, ycount, smooth, cutoff,
                             [pw](float d) { return int_power(d, pw); });
                break;
        }
    }
    for (int k = 1; k <= nstations; ++k) {
        if (!(g.precip(k, hour) >= threshold)) continue;
        weight_pass(ds.station_weights(k), ws.near_count.data(), ws.inv_dist_sum.data(), cells);
    }

    if (rs.iopt >= 1) diagnostics(rs, hour, nstations, xcount, ycount);
    ws.first_call = false;
}

}  // namespace nimbex
