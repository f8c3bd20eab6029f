#pragma once
// The gauge table reader: one event's tb0 table of gauge precipitation.
#include <cstddef>
#include <optional>
#include <string>

#include "readers/gauge_set.h"

namespace nimbex {

struct RunState;

// The longest table line read: room for the header lines of 100,000
// stations at 20 characters a value (a UTM northing with decimals takes 13).
constexpr std::size_t gauge_table_line_size = std::size_t{1} << 21;

// A reach of the weighting in grid cells: the radius of influence and the
// smoothing distance.
struct CellReach {
    float radius = 0.0f;
    float smoothing = 0.0f;
};

struct GaugeTableRead {
    GaugeCounts counts;
    std::string start_time;  // ":StartTime" of the table as written, empty if none
    // A forecast table (its ":Name" starts with "CMC_glb") asks for a fixed
    // reach, in cells, for the rest of the run; the reader announces it and
    // the caller applies it.
    std::optional<CellReach> forecast_reach;
};

// Reads the table named by file-name entry `entry` on `unit` into rs.gauges
// (stations, positions, elevations, converted values, record statistics),
// sets rs.gauges.deltat and the data source name, writes the event's lines of
// the gauge reports (units 50, 52, 53, 54) and the echo (unit 51), and
// returns the hours, the unit conversion factor, the station count and the
// reach a forecast table asks for. Every error stops the run.
GaugeTableRead read_rag_ef(RunState& rs, int unit, int entry);

}  // namespace nimbex
