#pragma once
// The parameter file reader: reads the keyword file of the suite's model into
// its own parameter state, runs its checks and defaults, and hands the run
// what it uses of it.
#include "readers/par_result.h"

namespace nimbex {

struct RunState;
struct ParState;

// Reads the parameter file named in entry `entry` of the file-name list on
// `unit`, with all checks of the parameter state. The file also sets the run
// values rs.iopt, rs.rlapse, rs.radiusinflce and rs.smoothdist, and the
// per-grid routing values of rs.shed. Stops the run on errors.
ParResult read_par_parser(RunState& rs, int unit, int entry, const ParSwitches& sw);

// The same into a parameter state the caller keeps, its event switches set
// beforehand: values the file does not give stay as they were.
void read_par_parser(RunState& rs, int unit, int entry, ParState& p);

// Grows every per-class and per-river-class array of `p` to the watershed's
// counts (values already there are kept).
void allocate_par_arrays(RunState& rs, ParState& p);

}  // namespace nimbex
