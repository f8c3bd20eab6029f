#pragma once
// The gauge table reader: one event's tb0 table of gauge precipitation.
namespace nimbex {

struct RunState;

// Reads the table named by file-name entry `entry` on `unit` into rs.gauges
// (stations, positions, elevations, converted values, record statistics),
// sets rs.gauges.deltat and the data source name, writes the event's lines of
// the gauge reports (units 50, 52, 53, 54) and the echo (unit 51), and
// returns the hours, the unit conversion factor and the station count.
// Every error stops the run. The event start is taken from
// rs.gauges.evt_year .. evt_hour, which the caller fills beforehand.
void read_rag_ef(RunState& rs, int unit, int entry, int& nhours, float& unit_conversion, int& nstations);

}  // namespace nimbex
