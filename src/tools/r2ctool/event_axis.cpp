// to-netcdf --event: the start and hours of an event, from its event file as
// the program's own event reader reads it.
#include <array>
#include <sstream>
#include <stdexcept>

#include "driver/run_state.h"
#include "platform/console.h"
#include "platform/fatal.h"
#include "platform/file_units.h"
#include "platform/files.h"
#include "readers/event_file.h"
#include "tools/r2ctool/commands.h"

namespace nimbex::r2ctool {

EventAxis read_event_axis(const std::string& evt_path) {
    // The program's own event reader, on a run state of its own: its console
    // text is kept for the message, its report goes nowhere.
    std::ostringstream text;
    std::istringstream no_input;
    Console con(text, no_input, true);
    RunState rs(con);
    rs.iopt = 0;
    if (!file_exists(evt_path)) throw std::runtime_error(evt_path + ": no such file");
    if (rs.files.open(unit::info_report, "/dev/null", OpenStatus::unknown) != 0)
        throw std::runtime_error("cannot open /dev/null for the event reader's report");
    rs.file_name(entry::event_file) = evt_path;
    rs.event_number = 1;
    int hours = 0;
    try {
        hours = read_evt(rs).hours_rain;
    } catch (const FatalStop& stop) {
        std::string msg = text.str();
        while (!msg.empty() && msg.back() == '\n') msg.pop_back();
        throw std::runtime_error(evt_path + ": not a readable event file: " + msg + (msg.empty() ? "" : " ") +
                                 stop.what());
    }
    const EventRecord& e = rs.evt.event;
    EventAxis a;
    a.start.year = e.year;
    a.start.month = e.month;
    a.start.day = e.day;
    a.start.hour = e.hour;
    a.start.valid = e.month >= 1 && e.month <= 12 && e.day >= 1 && e.day <= 31 && e.hour >= 0 && e.hour <= 23;
    if (!a.start.valid)
        throw std::runtime_error(evt_path + ": no valid start (:year " + std::to_string(e.year) + ", :month " +
                                 std::to_string(e.month) + ", :day " + std::to_string(e.day) + ", :hour " +
                                 std::to_string(e.hour) + ")");
    if (hours < 1) throw std::runtime_error(evt_path + ": :hoursraindata gives no hours");
    if (hours > 1'000'000) throw std::runtime_error(evt_path + ": :hoursraindata " + std::to_string(hours) + " is beyond a century of hours");
    a.hours = hours;
    return a;
}

}  // namespace nimbex::r2ctool
