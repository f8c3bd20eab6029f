#pragma once
// Station list of the event for the driver.
#include <vector>

namespace nimbex {

struct RunState;

// Writes "precip_sta.xyz" (or "raing\stationsprecip_sta.xyz" when the event's
// input is narr) on unit 99: one free-format line per station that has data
// in this event (has_data[k] != 0, 1-based), in station order, with x, y, the
// station number and the 12-character name. Nothing is written when the file
// cannot be opened.
void write_station_list(RunState& rs, const std::vector<char>& has_data /*1-based*/);

}  // namespace nimbex
