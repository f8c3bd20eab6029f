#pragma once
// The hourly distribution of an event's gauge values over the grid: work
// arrays, preparation of the gauge data and the step loop.
#include "driver/run_state.h"

namespace nimbex {

// First event: creates the pdl grids (rs.ny_pdl x rs.nx_pdl) and the station
// flags, and remembers the counts. A failure prints the two
// explanation lines and stops with "Program aborted in nimbex @ 443".
void create_work_arrays(RunState& rs, int nstations, int nhours);

// Creates outarray for the pdl grid ("Error with allocation of outarray in nimbex").
void create_outarray(RunState& rs);

// Later events: true when the station- and hour-dependent arrays must be made
// again (more stations than the first event, or more hours than ever before).
bool work_arrays_need_recreation(const RunState& rs, int nstations, int nhours);

// Makes the station- and hour-dependent arrays again for the current counts
// (their content is discarded; they never shrink) and remembers the hour count.
void recreate_work_arrays(RunState& rs, int nstations, int nhours);

// Removes implausible hourly values, brings the values to sea level when the
// lapse rate is active and sets the station flags. Returns true when at least
// one value was removed (also kept in rs.dist.spurious_removed).
bool prepare_gauge_data(RunState& rs);

// p := the weighted sum of the gauge values at step_hour, with the stations'
// places and settings of the last weight call and the stations reporting at
// step_hour, in the cells the grid in force covers (the others are left as
// they are).
void add_weighted_sum(RunState& rs, int step_hour);

// The same for several steps at once, each with its own reporting stations:
// sums[m] := the weighted sum at step_hours[m], for m = 0..nsums-1.
void add_weighted_sums(RunState& rs, const int* step_hours, int nsums, float* const* sums);

// The step loop of the event: weighted sums, elevation correction, frames,
// event and run totals. With more than one thread the last frames may still
// be being written on return (in the background of the grid's file unit).
void distribute(RunState& rs);

// The calendar time `elapsed` hours after the given start, in a calendar whose
// years divisible by 4 have 366 days.
struct FrameTime {
    int year, month, day, hour;
};
FrameTime frame_time(int year, int month, int day, int hour, long long elapsed);

}  // namespace nimbex
