// The hourly distribution of gauge values over the grid.
#include "driver/distribute.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/allocation.h"
#include "platform/cell_kernel.h"
#include "platform/calendar.h"
#include "platform/fatal.h"
#include "platform/file_units.h"
#include "platform/fortran_format.h"
#include "platform/parallel.h"
#include "weighting/weight.h"
#include "writers/r2c_writer.h"

namespace nimbex {

namespace {

constexpr float spurious_limit = 100.0f;  // mm in one hour
constexpr float frame_limit = 999.9f;     // largest value a whole step writes

constexpr const char* work_array_stop = "Program aborted in nimbex @ 443";

void explain_work_array_failure(RunState& rs) {
    rs.con.line("Allocation failed for temp,p,psum etc.");
    rs.con.line("arrays in nimbex ");
}

std::size_t pdl_cells(const RunState& rs) {
    return static_cast<std::size_t>(std::max(rs.nx_pdl, 0)) * static_cast<std::size_t>(std::max(rs.ny_pdl, 0));
}

// A grid of n cells set to 0.0, on large pages where the system offers them:
// far fewer page faults when a large grid is first written.
void make_grid(std::vector<float>& v, std::size_t n) {
    if (v.capacity() < n) {
        v = std::vector<float>();
        v.reserve(n);
        advise_large_pages(v.data(), n * sizeof(float));
    }
    v.assign(n, 0.0f);
}

void make_station_arrays(RunState& rs, int nstations) {
    DistState& ds = rs.dist;
    const std::size_t ns = static_cast<std::size_t>(std::max(nstations, 0));
    ds.station_has_data.assign(ns + 1, 0);
    ds.alloc_stations = nstations;
}

bool reports(float v) { return v >= 0.0f; }

// The weighting's settings and reports from the run state.
void weigh(RunState& rs, int hour) {
    const WeightSettings settings{rs.idw_power, rs.radiusinflce, rs.smoothdist};
    const bool have_ranks =
        rs.shed.rank.size() >= static_cast<std::size_t>(std::max(rs.shed.shed_xcount, 0)) *
                                   static_cast<std::size_t>(std::max(rs.shed.shed_ycount, 0));
    const WeightReports out{rs.con, rs.files.is_open(unit::info_report) ? &rs.files[unit::info_report] : nullptr, rs.iopt,
                            have_ranks ? rs.shed.rank.data() : nullptr, rs.shed.shed_xcount, rs.shed.shed_ycount};
    weight(rs.wts, rs.gauges, settings, out, hour, rs.gauges.nstations, rs.grid.xcount, rs.grid.ycount, 0.0f);
}

}  // namespace

void create_work_arrays(RunState& rs, int nstations, int nhours) {
    DistState& ds = rs.dist;
    allocate_or_stop(
        work_array_stop,
        [&] {
            ds.nx = std::max(rs.nx_pdl, 0);
            ds.ny = std::max(rs.ny_pdl, 0);
            const std::size_t cells = pdl_cells(rs);
            make_grid(ds.p, cells);
            make_grid(ds.psum, cells);
            make_grid(ds.pmax, cells);
            make_grid(ds.run_total, cells);
            make_station_arrays(rs, nstations);
        },
        [&] { explain_work_array_failure(rs); });
    ds.first_stations = nstations;
    ds.alloc_hours = nhours;
}

void create_outarray(RunState& rs) {
    allocate_or_stop("Error with allocation of outarray in nimbex", [&] { make_grid(rs.dist.outarray, pdl_cells(rs)); });
}

bool work_arrays_need_recreation(const RunState& rs, int nstations, int nhours) {
    return nstations > rs.dist.first_stations || nhours > rs.dist.alloc_hours;
}

void recreate_work_arrays(RunState& rs, int nstations, int nhours) {
    DistState& ds = rs.dist;
    allocate_or_stop(
        work_array_stop,
        [&] { make_station_arrays(rs, std::max({nstations, ds.first_stations, ds.alloc_stations})); },
        [&] { explain_work_array_failure(rs); });
    ds.alloc_hours = std::max(ds.alloc_hours, nhours);
}

bool prepare_gauge_data(RunState& rs) {
    GaugeSet& g = rs.gauges;
    DistState& ds = rs.dist;
    const int ns = g.nstations;
    const int nh = g.nhours;
    const int dt = std::max(g.deltat, 1);
    bool removed = false;

    if (g.deltat <= 1) {
        for (int h = 1; h <= nh; ++h) {
            for (int k = 1; k <= ns; ++k) {
                float& v = g.precip(k, h);
                if (v > spurious_limit) {
                    v = -1.0f;
                    removed = true;
                }
            }
        }
    }

    if (rs.lapse_active) {
        for (int k = 1; k <= ns; ++k) {
            const float factor = 1.0f + rs.rlapse * g.station_elevation[k];
            for (int h = dt; h <= (nh / dt) * dt; h += dt) {
                float& v = g.precip(k, h);
                if (v > -1.0f) v = v / factor;
                if (!std::isfinite(v)) v = -1.0f;  // a factor of 0: no sea-level value
            }
        }
    }

    if (ds.station_has_data.size() < static_cast<std::size_t>(ns) + 1) {
        ds.station_has_data.resize(static_cast<std::size_t>(ns) + 1, 0);
    }
    for (int k = 1; k <= ns; ++k) {
        bool any = false;
        for (int h = dt; h <= (nh / dt) * dt && !any; h += dt) any = reports(g.precip(k, h));
        ds.station_has_data[k] = any ? 1 : 0;
    }
    ds.spurious_removed = removed;
    return removed;
}

FrameTime frame_time(int year, int month, int day, int hour, long long elapsed) {
    long long total = static_cast<long long>(hour) + elapsed;
    long long days = total >= 0 ? total / 24 : -((-total + 23) / 24);
    const int h = static_cast<int>(total - days * 24);
    int y = year, m = month, d = day;
    while (days > 0) {
        const int left = std::max(0, month_length(y, m) - d);  // days after d in this month
        if (days <= left) {
            d += static_cast<int>(days);
            days = 0;
        } else {
            days -= left + 1;
            d = 1;
            if (++m > 12) {
                m = 1;
                ++y;
            }
        }
    }
    while (days < 0) {
        if (--d < 1) {
            if (--m < 1) {
                m = 12;
                --y;
            }
            d = month_length(y, m);
        }
        ++days;
    }
    return {y, m, d, h};
}

void add_weighted_sums(RunState& rs, const int* step_hours, int nsums, float* const* sums) {
    GaugeSet& g = rs.gauges;
    DistState& ds = rs.dist;
    // Only the part of the pdl grid that the grid in force covers gets rain.
    const int xc = std::min(std::max(rs.grid.xcount, 0), ds.nx);
    const int yc = std::min(std::max(rs.grid.ycount, 0), ds.ny);
    const std::size_t ns = static_cast<std::size_t>(std::max(std::min(g.nstations, static_cast<int>(rs.wts.x.size())), 0));
    // Each step with the stations reporting at it: the weights of a step are
    // those of a weight call at it, which the step loop makes whenever the
    // reporting stations change.
    std::vector<char> flags(static_cast<std::size_t>(std::max(nsums, 0)) * (ns + 1), 0);
    std::vector<StepSum> steps;
    for (int m = 0; m < nsums; ++m) {
        char* f = flags.data() + static_cast<std::size_t>(m) * (ns + 1);
        const float* v = g.hour_values(step_hours[m]);
        for (std::size_t k = 1; k <= ns; ++k) f[k] = reports(v[k - 1]) ? 1 : 0;
        if (rs.wts.single) f[1] = 1;
        steps.push_back({v, f, sums[m]});
    }
    // add_sums decides whether the work (cells by stations and by steps) is
    // worth a second thread.
    rs.wts.add_sums(steps, yc, xc, static_cast<std::size_t>(ds.nx), ds.thread_count());
}

void add_weighted_sum(RunState& rs, int step_hour) {
    float* p = rs.dist.p.data();
    add_weighted_sums(rs, &step_hour, 1, &p);
}

namespace {

// out := p capped at what a frame's field holds; true when any cell has rain.
NIMBEX_CELL_KERNEL bool cap_for_frame(float* out, const float* p, std::size_t n) {
    int rain = 0;
    for (std::size_t c = 0; c < n; ++c) {
        out[c] = p[c] > frame_limit ? frame_limit : p[c];
        rain |= p[c] > 0.0f;
    }
    return rain != 0;
}

// A step's grid p into the event's sum, the run's total and the event's
// largest values.
NIMBEX_CELL_KERNEL void add_step(float* sum, float* total, float* most, const float* p, std::size_t n) {
    for (std::size_t c = 0; c < n; ++c) {
        sum[c] += p[c];
        total[c] += p[c];
        most[c] = most[c] < p[c] ? p[c] : most[c];  // std::max, written out to vectorise
    }
}

// The step loop of one event: what every step needs, and its steps by name.
class StepLoop {
public:
    explicit StepLoop(RunState& rs)
        : rs(rs),
          g(rs.gauges),
          ds(rs.dist),
          ns(g.nstations),
          nhours(g.nhours),
          deltat(std::max(g.deltat, 1)),
          nsteps(nhours / deltat),
          cells(static_cast<std::size_t>(ds.nx) * static_cast<std::size_t>(ds.ny)),
          xc(0),
          yc(0),
          n10(nhours / 10),
          n12(nhours / 12),
          a12(rs.a12),
          dreal(static_cast<float>(deltat)),
          max_batch(1) {
        for (std::vector<float>* grid : {&ds.p, &ds.outarray, &ds.psum, &ds.pmax, &ds.run_total}) {
            if (grid->size() < cells) grid->resize(cells, 0.0f);
        }
        // Only the part of the pdl grid that the grid in force covers gets rain.
        xc = std::min(std::max(rs.grid.xcount, 0), ds.nx);
        yc = std::min(std::max(rs.grid.ycount, 0), ds.ny);
        // Steps whose weighted sums are formed together: the stations' terms of
        // a run of cells are formed once for all of them. At most 256 steps and
        // 384 MB of grids.
        max_batch = static_cast<int>(
            std::clamp<std::size_t>((std::size_t{96} << 20) / std::max<std::size_t>(cells, 1), 1, 256));
    }

    void run();

private:
    void report_progress(int step_hour);
    void step_facts(int step_hour, bool& present, bool& changed, float& zmax) const;
    void clear_grids();
    void form_sums(int step, int step_hour);
    void correct_for_elevation();
    void write_whole_step(long long e);
    void write_disaggregated(long long e);
    void add_to_totals();
    void write_frame(long long elapsed);

    RunState& rs;
    GaugeSet& g;
    DistState& ds;
    const int ns;
    const int nhours;
    const int deltat;
    const int nsteps;
    const std::size_t cells;
    int xc, yc;
    const int n10;
    const int n12;
    const float a12;
    const float dreal;
    int max_batch;

    std::vector<int> summed;  // step hours whose sums are in step_sums, in order
    bool grids_zero = false;  // outarray holds 0.0 in every cell
    float* step_p = nullptr;  // the step's weighted sums, corrected for elevation
    std::size_t next_sum = 0;
};

void StepLoop::write_frame(long long elapsed) {
    ++rs.frame_count;
    const FrameTime t = frame_time(ds.start_year, ds.start_month, ds.start_day, ds.start_hour, elapsed);
    rs.out_hdr.year = t.year;
    rs.out_hdr.month = t.month;
    rs.out_hdr.day = t.day;
    rs.out_hdr.hour = t.hour;
    R2cWriter(rs, unit::event_grid, entry::event_grid, nhours).frame(rs.frame_count, R2cFormat::f6_2);
}

// Events shorter than 10 (12) hours have no 10th (12th) part to report at.
void StepLoop::report_progress(int step_hour) {
    if ((n10 > 0 && step_hour % n10 == 0) || (n12 > 0 && step_hour % n12 == 0)) {
        std::string line = "distributing hour #";
        put_i(line, step_hour, 8);
        rs.con.line(line);
    }
}

// Presence, change of the reporting stations and largest value at a step.
void StepLoop::step_facts(int step_hour, bool& present, bool& changed, float& zmax) const {
    present = false;
    changed = false;
    zmax = 0.0f;
    for (int k = 1; k <= ns; ++k) {
        const float v = g.precip(k, step_hour);
        const bool now = reports(v);
        present = present || now;
        if (step_hour > deltat && now != reports(g.precip(k, step_hour - deltat))) changed = true;
        if (v > zmax) zmax = v;
    }
}

// No station has rain: every cell keeps 0.0 through the elevation
// correction, no frame is written and the totals do not change. (The step's
// sums are not read at such a step, so only the frame grid is cleared.)
void StepLoop::clear_grids() {
    if (!grids_zero) {
        std::fill(ds.outarray.begin(), ds.outarray.begin() + cells, 0.0f);
        grids_zero = true;
    }
}

// step_p := the weighted sum at the step (in the batch of sums, used there:
// nothing reads it once the next step comes). The sums of the following
// steps with rain are formed with it and used when their steps come; their
// weights are those the weight calls at their steps give, from the same
// stations' places and settings.
void StepLoop::form_sums(int step, int step_hour) {
    if (next_sum >= summed.size() || summed[next_sum] != step_hour) {
        summed.assign(1, step_hour);
        for (int s = step + 1; s <= nsteps && static_cast<int>(summed.size()) < max_batch; ++s) {
            bool pr = false, ch = false;
            float z = 0.0f;
            step_facts(s * deltat, pr, ch, z);
            if (pr && z > 0.0f) summed.push_back(s * deltat);
        }
        if (ds.step_sums.size() < summed.size() * cells) ds.step_sums.resize(summed.size() * cells);
        // The sums cover the cells of the grid in force; the rest of the
        // pdl grid gets no rain.
        if (!(xc == ds.nx && yc == ds.ny)) {
            std::fill(ds.step_sums.begin(), ds.step_sums.begin() + summed.size() * cells, 0.0f);
        }
        std::vector<float*> grids;
        for (std::size_t m = 0; m < summed.size(); ++m) grids.push_back(ds.step_sums.data() + m * cells);
        add_weighted_sums(rs, summed.data(), static_cast<int>(summed.size()), grids.data());
        next_sum = 0;
    }
    step_p = ds.step_sums.data() + next_sum * cells;
    ++next_sum;
    grids_zero = false;
}

// Sea-level values back to each cell's elevation. Cells beyond the watershed
// grid have no elevation of their own: they keep the sea-level value.
void StepLoop::correct_for_elevation() {
    const int ex = rs.shed.shed_xcount;
    const int ey = rs.shed.shed_ycount;
    for (int i = 1; i <= yc; ++i) {
        float* prow = step_p + ds.cell(i, 1);
        for (int j = 1; j <= xc; ++j) {
            float elev = 0.0f;
            if (i <= ey && j <= ex) {
                const std::size_t c = static_cast<std::size_t>(i - 1) * ex + (j - 1);
                if (c < rs.elev_grid.size()) elev = rs.elev_grid[c];
            }
            prow[j - 1] = std::max(0.0f, prow[j - 1] * (1.0f + rs.rlapse * elev));
        }
    }
}

// The step as one frame, each value capped at what the frame's field holds.
void StepLoop::write_whole_step(long long e) {
    if (cap_for_frame(ds.outarray.data(), step_p, cells)) write_frame(e);
}

// The step spread over its hours, one frame per hour: small amounts fall in
// the first hours at up to a12 an hour, large ones evenly.
void StepLoop::write_disaggregated(long long e) {
    const float* p = step_p;
    float* out = ds.outarray.data();
    // Made at the first step that needs it: most runs never disaggregate.
    if (ds.remaining.size() < cells)
        allocate_or_stop(work_array_stop, [&] { ds.remaining.resize(cells); }, [&] { explain_work_array_failure(rs); });
    float* rem = ds.remaining.data();
    std::copy(p, p + cells, rem);
    for (int m = 1; m <= deltat; ++m) {
        bool rain = false;
        for (int i = 1; i <= ds.ny; ++i) {
            for (int j = 1; j <= ds.nx; ++j) {
                const std::size_t c = ds.cell(i, j);
                const float pv = p[c];
                const float r = rem[c];
                float o;
                if (pv <= 0.0f) {
                    o = 0.0f;
                } else if (pv <= a12) {
                    o = r;
                    rem[c] = 0.0f;
                } else if (pv <= dreal) {
                    if (r > 1.0e-6f) {
                        o = std::min(a12, r);
                        rem[c] = r - o;
                    } else {
                        o = 0.0f;
                    }
                } else if (pv > dreal) {
                    o = pv / dreal;
                } else {
                    rs.con.line(msg() << "nhdt,i,j,p(i,j)/" << m << i << j << pv);
                    rs.con.line("This should never happen!!!");
                    fatal_stop("");
                }
                out[c] = o;
                rain = rain || o > 0.0f;
            }
        }
        if (rain) write_frame(e + m - 1);
    }
}

// The step into the event's sum and largest value and the run's total.
void StepLoop::add_to_totals() {
    add_step(ds.psum.data(), ds.run_total.data(), ds.pmax.data(), step_p, cells);
}

void StepLoop::run() {
    for (int step = 1; step <= nsteps; ++step) {
        const int step_hour = step * deltat;
        const long long e = step_hour - deltat;
        report_progress(step_hour);

        bool present = false;
        bool changed = false;
        float zmax = 0.0f;
        step_facts(step_hour, present, changed, zmax);
        const bool disaggregate = ds.smrflg == 'y' && zmax > a12 && deltat > 1;

        if (present) {
            if (changed || step_hour == deltat) {
                weigh(rs, step_hour);
            }
        }
        if (!(present && zmax > 0.0f)) {
            clear_grids();
            continue;
        }
        form_sums(step, step_hour);
        if (rs.lapse_active) correct_for_elevation();
        if (!disaggregate) {
            write_whole_step(e);
        } else {
            write_disaggregated(e);
        }
        add_to_totals();
    }
}

// Frames are written in the background while the next is formed (with more
// than one thread); the grid's file waits for them when next used or closed,
// so the event's summary is written meanwhile.
struct BackgroundFrames {
    DistState& ds;
    explicit BackgroundFrames(DistState& d) : ds(d) { ds.frames_in_background = ds.thread_count() > 1; }
    ~BackgroundFrames() { ds.frames_in_background = false; }
};

}  // namespace

void distribute(RunState& rs) {
    StepLoop loop(rs);
    BackgroundFrames background(rs.dist);
    loop.run();
}

}  // namespace nimbex
