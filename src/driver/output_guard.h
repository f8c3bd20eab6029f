#pragma once
// Outputs that would replace inputs of the run.

namespace nimbex {

struct RunState;

// Stops the run, before any output has been put in place, when an output of
// any event of the chain (an event's grid, the run totals, a report, a
// station list, the scratch file) names the same file as an input of the run
// (event files, watershed, parameter, point data locations and gauge files,
// basin\elv_max.r2c). Names are compared after path mapping and, where both
// files exist, by device and inode. Call after the first event file is read.
void check_outputs_against_inputs(RunState& rs);

}  // namespace nimbex
