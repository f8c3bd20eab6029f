#pragma once
// The legacy gauge reader: the labelled and the old fixed-column .rag layouts,
// and the weather-model identifiers that only get a notice.
#include <string_view>

#include "readers/gauge_set.h"

namespace nimbex {

struct RunState;

// Reads file-name entry 5 on unit 35 into rs.gauges and returns the hours, the
// factor (1.0: it is applied to the data) and the station count. A labelled
// file whose count lines cannot be read keeps two stations and the hours of
// the gauge set's previous event. `file_type` is the caller's file type; it
// is the initial value of rs.gauges.file_type, which the read replaces
// (".rag" for the old layout, line 2 of the labelled one). DeltaT goes to
// rs.gauges.deltat. Every error stops the run.
GaugeCounts rdrag(RunState& rs, std::string_view file_type);

}  // namespace nimbex
