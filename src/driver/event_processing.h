#pragma once
// The work done for every event: the first-event set-up, reading the gauges,
// the output header, the distribution and the event summaries; and the grid
// of run totals after the last event.

namespace nimbex {

struct RunState;

// Processes the current event (rs.event_number); on event 1 first sets the run up.
void process_event(RunState& rs);

// After the last event: "nimbex_sum.r2c" with the run totals.
void write_run_totals(RunState& rs);

}  // namespace nimbex
