#pragma once
// Writes the event's station lists (precip_sta.xyz, met_station_coordinates.xyz).
#include <vector>

namespace nimbex {

struct RunState;
class FileUnit;

// Writes "precip_sta.xyz" (or "raing\stationsprecip_sta.xyz" when the event's
// input is narr) on unit 99: one free-format line per station that has data
// in this event (has_data[k] != 0, 1-based), in station order, with x, y, the
// station number and the 12-character name. A file that cannot be created
// stops the run.
void write_station_list(RunState& rs, const std::vector<char>& has_data /*1-based*/);

// Opens a station list on unit 99 to be written (replaced when complete);
// stops the run, naming the file, when it cannot be created.
FileUnit& open_station_list(RunState& rs, const char* name);

}  // namespace nimbex
