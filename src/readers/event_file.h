#pragma once
// Reads an event file (event/event.evt and the event files chained after it).
#include <array>
#include <string>

namespace nimbex {

struct RunState;
class Console;

// What read_evt hands back besides the run's event state.
struct EventRead {
    float rain_conversion = 0.0f;  // ":rainconvfactor"
    float precip_scale = 0.0f;     // the precipitation scale factor in force
    float soil_moisture = 0.0f;    // ":intsoilmoisture", the start of every class
    int hours_rain = 0;            // ":hoursraindata" cut to a whole number
    int hours_flow = 0;            // ":hoursflowdata" cut to a whole number
};

// Reads the event file named in entry 99 of the run's file-name list (on unit
// 99), fills rs.evt, the run's file-name list and the chain (first event).
EventRead read_evt(RunState& rs);

// The file names that the event file `name` gives in slots 1, 2, 3, 5 and 10
// (element k for slot k, "dummy" when unset), read ahead with no other
// effect; false when the file cannot be opened.
bool peek_event_names(Console& con, const std::string& name, std::array<std::string, 11>& names);
// Stops the run when the start of the event just read (year, month, day,
// hour) is not a date and hour of the calendar the frames are dated with.
void check_event_date(RunState& rs);

}  // namespace nimbex
