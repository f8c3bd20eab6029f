#pragma once
// Reads an event file (event/event.evt and the event files chained after it).
#include <array>
#include <string>

namespace nimbex {

struct RunState;
class Console;

// Reads the event file named in entry 99 of the run's file-name list (on unit
// 99), fills rs.evt, the run's file-name list and the chain (first event), and
// hands back the rain conversion factor, the precipitation scale factor in
// force, 16 soil moisture values (all intsoilmoisture) and the hours of rain
// and flow data cut to whole numbers.
void read_evt(RunState& rs, float& conv, float& scale, std::array<float, 16>& smc, int& hoursraindata,
              int& hoursflowdata);

// The file names that the event file `name` gives in slots 1, 2, 3, 5 and 10
// (element k for slot k, "dummy" when unset), read ahead with no other
// effect; false when the file cannot be opened.
bool peek_event_names(Console& con, const std::string& name, std::array<std::string, 11>& names);
// Stops the run when the start of the event just read (year, month, day,
// hour) is not a date and hour of the calendar the frames are dated with.
void check_event_date(RunState& rs);

}  // namespace nimbex
