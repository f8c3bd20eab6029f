#pragma once
// Checks, defaults and derived values of the parameter state, run by
// read_par_parser after the sections they belong to and after the last one.
namespace nimbex {

struct RunState;

// Right after a ":sublim_rate" line: the rate is per day in the file.
void par_sublim_rate_read(RunState& rs);
// After the snow section's error test: first points of the depletion curves.
void par_after_snow(RunState& rs);
// After the interception section, before its error test: water class limit
// and the wetland class copy.
void par_after_intcap_read(RunState& rs);
// After the interception section's error test: first interception values.
void par_after_intcap_checked(RunState& rs);
// Before the monthly evaporation section is read.
void par_before_evap(RunState& rs);
// After the snow limits section.
void par_after_snow_limits(RunState& rs);
// Rule on the global limits section, after the last section.
void par_global_limits_rule(RunState& rs);
// The checks that follow the closing of the file.
void par_final_checks(RunState& rs);

// Raises capacities to a11 and derives hmax, fpetm and the ak/akfs indices;
// with `report` the per-class lines go to the information report.
void par_interception(RunState& rs, bool report);

}  // namespace nimbex
