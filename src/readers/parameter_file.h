#pragma once
// The parameter file reader: reads the keyword file of the suite's model into
// the shared parameter state and runs its checks and defaults.
namespace nimbex {

struct RunState;

// Reads the parameter file named in entry `entry` of the file-name list on
// `unit`, with all checks of the parameter state. Stops the run on errors.
void read_par_parser(RunState& rs, int unit, int entry);

// Creates the per-class melt arrays for the watershed's class count (called
// by the driver once the watershed file is read).
void create_class_arrays(RunState& rs);

// Grows every per-class and per-river-class array of the parameter state to
// the watershed's counts (values already there are kept).
void allocate_par_arrays(RunState& rs);

}  // namespace nimbex
