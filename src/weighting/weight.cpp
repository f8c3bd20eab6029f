// Station weights by inverse distance.
#include "weighting/weight.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>
#include <string>

#include "platform/fatal.h"
#include "platform/fortran_format.h"
#include "platform/parallel.h"
#include "writers/fast_fixed.h"

namespace nimbex {

namespace {

constexpr float mark_near = DistState::mark_near;
constexpr float mark_out_of_reach = DistState::mark_out_of_reach;

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
    ws.nstations = nstations;
}

// Cell loops evaluate every operand and select; allowing the compiler to do
// so without trap semantics lets it vectorise them, and each is built for
// the widest vector unit at hand. No result changes: the operations are the
// same single-precision ones, never contracted.
#define NIMBEX_CELL_KERNEL                                                                          \
    [[gnu::optimize("no-trapping-math", "no-math-errno", "tree-vectorize", "fp-contract=off")]] \
    __attribute__((target_clones("avx512f", "avx2", "default")))

// Adds one reporting station's entries to the cells' sums and near counts.
NIMBEX_CELL_KERNEL void add_to_norm(const float* w, int* nc, float* s, std::size_t n) {
    for (std::size_t c = 0; c < n; ++c) {
        const float t = w[c];
        const bool on_cell = t == mark_near;
        const bool far = !on_cell & (t != mark_out_of_reach);
        s[c] += far ? t : 0.0f;  // adding +0.0 changes no sum
        nc[c] += static_cast<int>(on_cell);
    }
}

NIMBEX_CELL_KERNEL void finish_norm(float* norm, const int* nc, const float* s, std::size_t n) {
    for (std::size_t c = 0; c < n; ++c) {
        const float shared = 1.0f / static_cast<float>(nc[c]);  // only used when nc > 0
        norm[c] = nc[c] > 0 ? -shared : s[c];
    }
}

int threads_for(DistState& ds, std::size_t work) {
    constexpr std::size_t worth_a_thread = std::size_t{1} << 21;  // station-cell pairs
    return work < worth_a_thread ? 1 : ds.thread_count();
}

// Every station's entries, rows split across threads.
void make_terms(DistState& ds, int nstations, int xcount, int ycount) {
    const std::size_t xc = static_cast<std::size_t>(xcount);
    parallel_for(threads_for(ds, xc * ycount * nstations), static_cast<std::size_t>(ycount), 1, 1,
                 [&](std::size_t r0, std::size_t r1) {
                     for (int k = 1; k <= nstations; ++k) {
                         float* wk = ds.station_weights(k);
                         for (std::size_t r = r0; r < r1; ++r) {
                             const float dy = ds.term_y[k - 1] - static_cast<float>(r + 1);
                             station_terms(wk + r * xc, ds.term_x[k - 1], dy * dy, 1, xcount, ds.term_smooth,
                                           ds.term_cutoff, ds.term_power);
                         }
                     }
                 });
}

// Each cell's norm from the reporting stations, in station order, a short
// run of cells at a time so that the run's sums stay in cache.
void make_norms(DistState& ds, const std::vector<int>& reporting, std::size_t cells) {
    constexpr std::size_t run = 1024;
    const std::size_t xc = static_cast<std::size_t>(std::max(ds.w_xcount, 1));
    parallel_for(threads_for(ds, cells * reporting.size()), cells, run, run, [&](std::size_t c0, std::size_t c1) {
        int nc[run];
        float s[run];
        float buf[run];
        for (std::size_t b = c0; b < c1;) {
            std::size_t n = std::min(run, c1 - b);
            if (!ds.terms_stored) n = std::min(n, xc - b % xc);  // formed a row at a time
            std::fill(nc, nc + n, 0);
            std::fill(s, s + n, 0.0f);
            for (int k : reporting) add_to_norm(ds.terms(k, b, n, buf), nc, s, n);
            finish_norm(ds.cell_norm.data() + b, nc, s, n);
            b += n;
        }
    });
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
            if (!ds.weighted[k]) continue;  // its weights are 0.0, which adds nothing
            std::vector<float> buf(static_cast<std::size_t>(xcount));
            for (int i = 1; i <= yc; ++i) {
                const std::size_t row = static_cast<std::size_t>(i - 1) * xcount;
                const float* wk = ds.terms(k, row, static_cast<std::size_t>(xcount), buf.data());
                for (int j = 0; j < xc; ++j) {
                    ws.weight_check[row + j] += DistState::weight_of(wk[j], ds.cell_norm[row + j]);
                }
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
            for (int i = ycount; i >= 1; --i) {
                line.clear();
                for (int j = 0; j < xcount; ++j) {
                    if (j > 0 && j % 999 == 0) line += '\n';
                    append_fixed(line, ds.weight_at(i, j + 1, k), 5, 2);
                }
                f.put_line(line);
            }
            f.put_line("");
        }
    }

    rs.con.line(msg() << "New weights hr= " << hour);
}

}  // namespace

// One station's entries for a run of n cells of one row, starting at column
// j1: out of reach, on the cell, or its inverse distance power d^-pw.
NIMBEX_CELL_KERNEL void station_terms(float* w, float sx, float dy2, int j1, int n, float smooth,
                                      float cutoff, int pw) {
    // The distance and its classification; the power is written out for the
    // usual powers so that the loop vectorises.
#define NIMBEX_TERM_LOOP(POWER)                                             \
    for (int j = 0; j < n; ++j) {                                           \
        const float dx = sx - static_cast<float>(j1 + j);                   \
        const float d = __builtin_sqrtf(dx * dx + dy2) + smooth;            \
        const float t = 1.0f / (POWER);                                     \
        const bool out = d > cutoff;                                        \
        const bool on_cell = !out & (d <= near_distance);                   \
        const float mark = out ? mark_out_of_reach : mark_near;             \
        w[j] = (out | on_cell) ? mark : t;                                  \
    }
    switch (pw) {
        case 1: NIMBEX_TERM_LOOP(d) break;
        case 2: NIMBEX_TERM_LOOP(d * d) break;
        case 3: NIMBEX_TERM_LOOP(d * d * d) break;
        default: NIMBEX_TERM_LOOP(int_power(d, pw)) break;
    }
#undef NIMBEX_TERM_LOOP
}

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
        ds.terms_current = false;
    }
    if (ds.cell_norm.size() < cells) {
        make(ds.cell_norm, cells, "Error with re-allocation in weight @ 63");
    }
    if (ds.w_xcount != xcount || ds.w_ycount != ycount) ds.terms_current = false;
    ds.w_xcount = xcount;
    ds.w_ycount = ycount;
    ds.w_cells = cells;
    ds.weighted.assign(static_cast<std::size_t>(nstations) + 1, 0);

    if (nstations == 1) {
        // The single station takes everything, everywhere.
        std::fill(ds.weights.begin(), ds.weights.begin() + cells, mark_near);
        std::fill(ds.cell_norm.begin(), ds.cell_norm.begin() + cells, -1.0f);
        ds.weighted[1] = 1;
        ds.terms_stored = true;
        ds.terms_current = false;
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
    const float smooth = rs.smoothdist;
    const int pw = rs.idw_power;

    // A station's entries depend only on the stations' places, the grid and
    // the distance settings, not on which stations report. When they are
    // kept, they are made again only when one of those changed.
    constexpr std::size_t store_limit = std::size_t{4} << 20;  // entries (16 MB)
    const bool store = ns * cells <= store_limit;
    auto same_floats = [](const std::vector<float>& a, const float* b, std::size_t n) {
        return a.size() == n && (n == 0 || std::memcmp(a.data(), b, n * sizeof(float)) == 0);
    };
    const bool same_inputs =
        ds.terms_current && ds.terms_stored == store && ws.term_stations == nstations &&
        ws.term_xcount == xcount && ws.term_ycount == ycount && ds.term_power == pw &&
        std::memcmp(&ds.term_smooth, &smooth, sizeof smooth) == 0 &&
        std::memcmp(&ds.term_cutoff, &cutoff, sizeof cutoff) == 0 &&
        same_floats(ds.term_x, g.station_x.data() + 1, ns) && same_floats(ds.term_y, g.station_y.data() + 1, ns);
    if (!same_inputs) {
        ds.term_x.assign(g.station_x.begin() + 1, g.station_x.begin() + 1 + nstations);
        ds.term_y.assign(g.station_y.begin() + 1, g.station_y.begin() + 1 + nstations);
        ds.term_smooth = smooth;
        ds.term_cutoff = cutoff;
        ds.term_power = pw;
        ws.term_xcount = xcount;
        ws.term_ycount = ycount;
        ws.term_stations = nstations;
        ds.terms_stored = store;
        if (store) make_terms(ds, nstations, xcount, ycount);
        ds.terms_current = true;
        ws.recent_norms.clear();
    }

    std::vector<int> reporting;
    reporting.reserve(ns);
    for (int k = 1; k <= nstations; ++k) {
        if (g.precip(k, hour) >= threshold) {
            reporting.push_back(k);
            ds.weighted[k] = 1;
        }
    }
    // The norms of a set weighted before are taken as they were made.
    auto seen = std::find_if(ws.recent_norms.begin(), ws.recent_norms.end(), [&](const WeightState::NormsOfSet& r) {
        return r.reporting == ds.weighted && r.norm.size() == cells;
    });
    if (seen != ws.recent_norms.end()) {
        std::copy(seen->norm.begin(), seen->norm.end(), ds.cell_norm.begin());
        std::rotate(ws.recent_norms.begin(), seen, seen + 1);
    } else {
        make_norms(ds, reporting, cells);
        // Keep a few sets, at most 64 MB of norms.
        const std::size_t keep = std::min<std::size_t>(4, (std::size_t{16} << 20) / std::max<std::size_t>(cells, 1));
        if (keep > 0) {
            if (ws.recent_norms.size() >= keep) ws.recent_norms.resize(keep - 1);
            ws.recent_norms.insert(ws.recent_norms.begin(), WeightState::NormsOfSet{
                ds.weighted, std::vector<float>(ds.cell_norm.begin(), ds.cell_norm.begin() + cells)});
        }
    }

    if (rs.iopt >= 1) diagnostics(rs, hour, nstations, xcount, ycount);
    ws.first_call = false;
}

}  // namespace nimbex
