#pragma once
// The event file reader.
#include <array>

namespace nimbex {

struct RunState;

// Reads the event file named in entry 99 of the run's file-name list (on unit
// 99), fills rs.evt, the run's file-name list and the chain (first event), and
// hands back the rain conversion factor, the precipitation scale factor in
// force, 16 soil moisture values (all intsoilmoisture) and the hours of rain
// and flow data cut to whole numbers.
void read_evt(RunState& rs, float& conv, float& scale, std::array<float, 16>& smc, int& hoursraindata,
              int& hoursflowdata);

// Stops the run when the start of the event just read (year, month, day,
// hour) is not a date and hour of the calendar the frames are dated with.
void check_event_date(RunState& rs);

}  // namespace nimbex
