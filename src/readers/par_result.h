#pragma once
// What the parameter reader takes from the event (the switches its checks
// look at) and what the rest of the run takes from the parameter file. The
// reader's whole working state (par_state.h) stays its own.
#include <vector>

#include "platform/text.h"

namespace nimbex {

// The event switches the parameter checks look at.
struct ParSwitches {
    char smrflg = 'n';  // disaggregation
    char wetflg = 'n';  // wetlands
    char trcflg = 'n';  // tracer
};

// What the run uses of the parameter file.
struct ParResult {
    float a12 = 0.0f;   // disaggregation threshold, mm (for smrflg "y" without an event value)
    int numa = 0;       // optimisation switch: 0 for a production run
    char trcflg = 'n';  // the tracer switch after the checks (off without a glacier class)
    std::vector<FText<10>> class_name;  // land-cover class names 1..classcount (element 0 unused)
};

}  // namespace nimbex
