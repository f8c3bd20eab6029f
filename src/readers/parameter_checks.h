#pragma once
// Checks, defaults and derived values of the parameter state, run by
// read_par_parser after the sections they belong to and after the last one.
namespace nimbex {

struct RunState;
struct ParState;

// Right after a ":sublim_rate" line: the rate is per day in the file.
void par_sublim_rate_read(RunState& rs, ParState& p);
// After the snow section's error test: first points of the depletion curves.
void par_after_snow(RunState& rs, ParState& p);
// After the interception section, before its error test: water class limit
// and the wetland class copy.
void par_after_intcap_read(RunState& rs, ParState& p);
// After the interception section's error test: first interception values.
void par_after_intcap_checked(RunState& rs, ParState& p);
// Before the monthly evaporation section is read.
void par_before_evap(ParState& p);
// After the snow limits section.
void par_after_snow_limits(RunState& rs, ParState& p);
// Rule on the global limits section, after the last section.
void par_global_limits_rule(RunState& rs, ParState& p);
// The checks that follow the closing of the file.
void par_final_checks(RunState& rs, ParState& p);

// Raises capacities to a11 and derives hmax, fpetm and the ak/akfs indices;
// with `report` the per-class lines go to the information report.
void par_interception(RunState& rs, ParState& p, bool report);

}  // namespace nimbex
