// Reads an event file (event/event.evt or one of its chain) into the event
// record and, from the first one, the chain of event files that follow.
#include "readers/event_file.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "driver/run_state.h"
#include "ensim/event_key.h"
#include "ensim/keyword_line.h"
#include "platform/allocation.h"
#include "platform/fatal.h"
#include "platform/file_units.h"
#include "platform/fortran_format.h"
#include "platform/calendar.h"
#include "platform/limits.h"
#include "platform/whole_numbers.h"

namespace nimbex {

namespace {

constexpr int evt_unit = unit::scratch;
constexpr int info_unit = unit::info_report;
constexpr std::size_t evt_line_size = 4096;
constexpr std::size_t chain_name_width = 30;

// The parameter-file count `numa` (0 until the parameter file has been read).
int numa_of(const RunState& rs) { return rs.par_result.numa; }

// Keywords whose empty value is a parse error of the event file.
bool empty_value_is_fatal(std::string_view key) {
    return key == ":intsoilmoisture" || key == ":eventsnowscalefactor" || key == ":kenueflg" ||
           key == ":climatenormalsdiff" || key == ":griddeddailydifference";
}

// "Y" -> "y", "N" -> "n", blank -> "n".
void fold_yn(char& f) {
    if (f == 'Y') f = 'y';
    else if (f == 'N') f = 'n';
    else if (f == ' ') f = 'n';
}

// First day of each month in a common year.
constexpr int month_start[12] = {1, 32, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335};

int day_of_year(int year, int month, int day) {
    // A month outside 1..12 (an event file without ":month") has no day of the year.
    if (month < 1 || month > 12) return 0;
    // Summed wide: a day written near the integer limit must not overflow.
    long long d = month_start[month - 1] - 1LL + day;
    if (month >= 3 && year % 4 == 0) ++d;
    return static_cast<int>(std::clamp<long long>(d, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// A switch no event file has set holds the zero character: shown as a blank.
char shown_flag(char f) { return f == '\0' ? ' ' : f; }

// The reals of the event record must be finite numbers: even those this
// program does not use are echoed to the information report and handed on.
void check_event_reals(RunState& rs, const std::string& name) {
    const EventRecord& e = rs.evt.event;
    const struct {
        std::string_view key;
        float v;
    } reals[] = {
        {":intsoilmoisture", e.intsoilmoisture},
        {":rainconvfactor", e.rainconvfactor},
        {":eventprecipscalefactor", e.eventprecipscalefactor},
        {":precipscalefactor", e.precipscalefactor},
        {":eventsnowscalefactor", e.eventsnowscalefactor},
        {":eventtempscalefactor", e.eventtempscalefactor},
        {":snowscalefactor", e.snowscalefactor},
        {":hoursraindata", e.hoursraindata},
        {":hoursflowdata", e.hoursflowdata},
        {":tempscalefactor", e.tempscalefactor},
        {":disaggregate", e.disaggregate},
    };
    for (const auto& r : reals) {
        if (std::isfinite(r.v)) continue;
        rs.con.line("ERROR in the event file " + name);
        fatal_stop("Program aborted in read_evt: " + std::string(r.key) + " " + std::string(trim(list_real(r.v))) +
                   " is not a finite number in " + name);
    }
    if (std::fabs(e.rainconvfactor) > max_conversion_factor) {
        rs.con.line("ERROR in the event file " + name);
        rs.con.line("A conversion factor may be at most " + std::string(trim(list_real(max_conversion_factor))) +
                    " in size");
        fatal_stop("Program aborted in read_evt: :rainconvfactor " + std::string(trim(list_real(e.rainconvfactor))) +
                   " is out of range in " + name);
    }
}

struct FlagLabel {
    std::string_view label;
    char EventFlags::*field;
};

// Flags echoed as read, in this order.
constexpr FlagLabel read_echo[] = {
    {"snwflg", &EventFlags::snwflg},     {"sedflg", &EventFlags::sedflg},
    {"vapflg", &EventFlags::vapflg},     {"smrflg", &EventFlags::smrflg},
    {"resinflg", &EventFlags::resinflg}, {"tbcflg", &EventFlags::tbcflg},
    {"resumflg", &EventFlags::resumflg}, {"contflg", &EventFlags::contflg},
    {"routeflg", &EventFlags::routeflg}, {"crseflg", &EventFlags::crseflg},
    {"ensimflg", &EventFlags::ensimflg}, {"picflg", &EventFlags::picflg},
    {"wetflg", &EventFlags::wetflg},     {"modelflg", &EventFlags::modelflg},
    {"shdflg", &EventFlags::shdflg},     {"trcflg", &EventFlags::trcflg},
    {"frcflg", &EventFlags::frcflg},     {"initflg", &EventFlags::initflg},
    {"grdflg", &EventFlags::grdflg},     {"ntrlflg", &EventFlags::ntrlflg},
    {"nudgeflg", &EventFlags::nudgeflg}, {"resetflg", &EventFlags::resetflg},
    {"hdrflg", &EventFlags::hdrflg},     {"divertflg", &EventFlags::divertflg},
    {"pafflg", &EventFlags::pafflg},
};

// Switches echoed as used, with the labels the suite's event files carry.
constexpr FlagLabel used_echo[] = {
    {":snwflg", &EventFlags::snwflg},       {":sedflg", &EventFlags::sedflg},
    {":vapflg", &EventFlags::vapflg},       {":smrflg", &EventFlags::smrflg},
    {":esimflg", &EventFlags::resinflg},    {":tbcflg", &EventFlags::tbcflg},
    {":esumflg", &EventFlags::resumflg},    {":contflg", &EventFlags::contflg},
    {":routeflg", &EventFlags::routeflg},   {":crseflg", &EventFlags::crseflg},
    {":ensimflg", &EventFlags::ensimflg},   {":picflg", &EventFlags::picflg},
    {":wetflg", &EventFlags::wetflg},       {":modelflg", &EventFlags::modelflg},
    {":shdflg", &EventFlags::shdflg},       {":trcflg", &EventFlags::trcflg},
    {":frcflg", &EventFlags::frcflg},       {":initflg", &EventFlags::initflg},
    {":grdflg", &EventFlags::grdflg},       {":ntrlflg", &EventFlags::ntrlflg},
    {":nudgeflg", &EventFlags::nudgeflg},   {":divertflg", &EventFlags::divertflg},
    {":pafflg", &EventFlags::pafflg},
};

void open_event_file(RunState& rs, const std::string& name) {
    const FText<256>& entry = rs.file_name(entry::event_file);
    if (!file_exists(name)) {
        rs.con.line("Attempting to open the file " + first_chars(entry.str(), 40));
        rs.con.line("but it is not found (in this location)");
        rs.con.line(msg() << "in read_evt @ 188  unit=" << evt_unit);
        rs.con.line("Possibel cause: Not in proper working directory");
        rs.con.blank();
        fatal_stop("Program aborted in read_evt @ 159");
    }
    const int ios = rs.files.open_read(evt_unit, name);
    if (ios != 0) {
        const std::string text = " error opening unit 99, file name= " + first_chars(entry.str(), 30);
        rs.con.line(text);
        if (numa_of(rs) <= 0) rs.files[info_unit].put_line(text);
        rs.con.line(msg() << "iostat= " << ios);
        rs.con.blank();
        fatal_stop(" program terminated in rdevt");
    }
}

// The lines after ":noeventstofollow": a separator line, then on the first
// event the names of the N following event files.
void read_chain(RunState& rs, FileUnit& f) {
    EventState& ev = rs.evt;
    std::string line;
    bool more = false;
    while ((more = f.get_line(line))) {
        if (len_trim(line) > 0) break;  // the separator, discarded
    }
    if (!more) return;  // the file ends right after the keyword
    const int n = ev.event.noeventstofollow;
    if (rs.event_number != 1 || n < 1) return;

    // The list grows with the names actually read: a count far beyond the
    // lines of the file ends at the missing name below, not in a huge array.
    rs.event_count = n == std::numeric_limits<int>::max() ? n : n + 1;
    const std::size_t wanted = static_cast<std::size_t>(n) + 2;
    if (ev.event_fln.size() < std::min<std::size_t>(wanted, 1024)) {
        allocate_or_stop("Warning: error with allocation of event_fln in read_evt",
                         [&] { ev.event_fln.resize(std::min<std::size_t>(wanted, 1024)); });
    }
    for (long long i = 2; i <= static_cast<long long>(n) + 1; ++i) {
        if (ev.event_fln.size() <= static_cast<std::size_t>(i)) ev.event_fln.resize(2 * static_cast<std::size_t>(i));
        if (!f.get_line(line)) {
            rs.con.line(msg() << "Error reading file no " << static_cast<int>(i) << " in rdevt");
            rs.con.line("possible cause: number of files listed ");
            rs.con.line("in the event file is shorter");
            rs.con.line(msg() << "than the specified " << n);
            rs.con.blank();
            fatal_stop("Program abortedin rdevt @ 460");
        }
        // A longer name would be cut and name another file.
        if (len_trim(line) > chain_name_width) {
            rs.con.line("ERROR parsing " + std::string(rs.file_name(entry::event_file).trimmed()));
            rs.con.line("   in line: " + line);
            fatal_stop("Program aborted in read_evt: event file name no " + std::to_string(i) +
                       " after :noeventstofollow in " + std::string(rs.file_name(entry::event_file).trimmed()) +
                       " is longer than " + std::to_string(chain_name_width) +
                       " characters: " + std::string(trim(line)));
        }
        const std::string name = first_chars(line, chain_name_width);
        ev.event_fln[static_cast<std::size_t>(i)] = name;
        rs.files[info_unit].put_line(name);
        if (numa_of(rs) <= 0) rs.files[info_unit].put_line(name);
        if (rs.iopt == 2) rs.con.line(msg() << static_cast<int>(i) << name);
    }
}

// The next keyword line of an event file, cleaned and split, its keyword in
// lower case; every other line is skipped. False at end of file.
bool next_keyword_line(FileUnit& f, std::string& line, std::string& key, std::string& value) {
    while (f.get_line(line)) {
        if (line.size() > evt_line_size) line.resize(evt_line_size);
        tabs_to_blanks(line);
        line = std::string(trim(line));
        if (line.empty() || line[0] != ':') continue;
        split_line(line, key, value, 128, evt_line_size);
        lower_case(key);
        return true;
    }
    return false;
}

void read_lines(RunState& rs, const std::string& name) {
    EventRecord& e = rs.evt.event;
    FileUnit& f = rs.files[evt_unit];
    std::string line, key, value;
    while (next_keyword_line(f, line, key, value)) {
        if (key == ":filetype" || key == ":fileversionno") continue;
        KeyOutcome result = key_not_mine;
        try {
            result = handle_event_key(rs.con, e, key, value);
        } catch (const BadValue& bad) {
            rs.con.line("ERROR parsing " + name);  // the stop line names no file
            fatal_stop(bad_value_message(bad.word(), line));
        } catch (const LongName& longer) {
            rs.con.line("ERROR parsing " + name);
            rs.con.line("   in line: " + line);
            fatal_stop("Program aborted in read_evt: the name of " + longer.key() + " in " + name +
                       " is longer than " + std::to_string(event_name_width) + " characters: " + longer.name());
        }
        if (result == key_bad_value && empty_value_is_fatal(key)) {
            rs.con.line("ERROR parsing " + name);
            rs.con.line("   in line: " + line);
            fatal_stop(" Stopped in read_evt");
        }
        if (key == ":noeventstofollow") read_chain(rs, f);
    }
}

void echo_as_read(RunState& rs) {
    const EventRecord& e = rs.evt.event;
    FileUnit& info = rs.files[info_unit];
    info.put_line(std::string(44, '~'));
    info.put_line("data as read from the event file:");
    for (int v : {e.year, e.month, e.day, e.hour}) info.put_line(ListLine() << v);
    for (float v : {e.intsoilmoisture, e.rainconvfactor, e.eventprecipscalefactor, e.precipscalefactor,
                    e.eventsnowscalefactor, e.snowscalefactor, e.eventtempscalefactor, e.tempscalefactor,
                    e.hoursraindata, e.hoursflowdata}) {
        info.put_line(ListLine() << v);
    }
    info.put_line(ListLine() << e.deltat_report);
    info.put_line(ListLine() << e.noeventstofollow);
    info.put_line("flags as read from the event file:");
    for (const FlagLabel& fl : read_echo) {
        std::string s = fmt_pad("event%" + std::string(fl.label), 15);
        s += shown_flag(e.*fl.field);
        info.put_line(s);
    }
}

void echo_in_force(RunState& rs, int hoursraindata, int hoursflowdata) {
    EventState& ev = rs.evt;
    FileUnit& info = rs.files[info_unit];
    info.put_line("flags and data as used in the model");
    info.put_line("Some data and flags from event 1 are used");
    info.put_line("#");
    for (const FlagLabel& fl : used_echo) {
        std::string s = fmt_pad(fl.label, 30);
        s += shown_flag(ev.sw.*fl.field);
        info.put_line(s);
    }
    info.put_line("#");
    auto real_line = [&](std::string_view label, float v) { info.put_line(msg() << fmt_pad(label, 30) << v); };
    auto int_line = [&](std::string_view label, int v) { info.put_line(msg() << fmt_pad(label, 30) << v); };
    real_line(":intSoilMoisture", ev.event.intsoilmoisture);
    real_line(":rainConvFactor", ev.event.rainconvfactor);
    real_line(":eventPrecipScaleFactor", ev.precip_scale);
    real_line(":precipScaleFactor", ev.precipscalefactor1);
    real_line(":eventSnowScaleFactor", ev.snow_scale);
    real_line(":snowScaleFactor", ev.snowscalefactor1);
    real_line(":eventTempScaleFactor", ev.event.eventtempscalefactor);
    real_line(":tempScaleFactor", ev.temp_scale);
    info.put_line("#");
    int_line(":hoursRainData", hoursraindata);
    int_line(":hoursFlowData", hoursflowdata);
    int_line(":deltat_report", ev.event.deltat_report);
    info.put_line("#");
}

// Values every read starts from; the run's settings only on the first event.
void reset_for_read(EventState& ev, bool first) {
    EventRecord& e = ev.event;
    EventFlags& sw = ev.sw;
    e.year = e.month = e.day = e.hour = 0;
    e.deltat_report = 1;
    e.spinupevents = 0;
    e.fliflg = e.lakeflg = e.iceflg = 'n';
    for (int k = 1; k <= 60; ++k) e.names[static_cast<std::size_t>(k)] = "dummy";
    if (first) {
        sw.grdflg = sw.ntrlflg = sw.nudgeflg = sw.divertflg = sw.pafflg = 'n';
        ev.reset_run = ev.header_run = ev.daily_differences = false;
    }
}

// The date text of the event just read, "yyyy/mm/dd" with blank-filled numbers.
void set_date_text(RunState& rs) {
    EventState& ev = rs.evt;
    const EventRecord& e = ev.event;
    std::string date;
    put_i(date, e.year, 4);
    date += '/';
    put_i(date, e.month, 2);
    date += '/';
    put_i(date, e.day, 2);
    ev.date_text = date;
    if (rs.iopt > 0) rs.con.line(date);
}

// The run clock: the start of the event just read.
void set_run_clock(EventState& ev) {
    const EventRecord& e = ev.event;
    ev.year = e.year;
    ev.month = e.month;
    ev.day = e.day;
    ev.hour = e.hour;
    ev.day_of_year = day_of_year(e.year, e.month, e.day);
}

// The event's file names go into the run's file-name list (slot 61 stays
// out); the first event's parameter and point-data-locations names are kept.
void take_file_names(RunState& rs, bool first) {
    EventState& ev = rs.evt;
    const EventRecord& e = ev.event;
    if (rs.iopt > 0) {
        for (int k = 1; k <= event_name_slots; ++k) {
            rs.files[info_unit].put_line(ListLine() << k << e.names[static_cast<std::size_t>(k)].str());
        }
    }
    for (int k = 1; k <= event_name_slots; ++k) {
        if (k == 61) continue;
        rs.file_name(k) = e.names[static_cast<std::size_t>(k)].str();
    }

    // Daily differences given for the first event must be given for all.
    const bool diff_file = file_exists(rs.file_name(60).trimmed());
    if (first) {
        if (diff_file) ev.daily_differences = true;
    } else if (!diff_file && ev.daily_differences) {
        rs.con.blank();
        rs.con.line("daily differences found for previous event(s) but");
        rs.con.line("no this one. Not a good idea so program terminated");
        fatal_stop("Program aborted in read_evt @ L727");
    }

    if (first) {
        ev.par_file_name = rs.file_name(entry::parameters).str();
        ev.pdl_file_name = rs.file_name(entry::pdl).str();
    }
}

// The first event's switches hold for the whole run; an "a" in the first
// event file sets its switch to "y" for every event.
void apply_first_event_switches(EventState& ev, bool first) {
    EventRecord& e = ev.event;
    EventFlags& sw = ev.sw;
    if (first) {
        ev.snwflg1 = sw.snwflg;
        ev.sedflg1 = sw.sedflg;
        ev.resinflg1 = sw.resinflg;
        ev.routeflg1 = sw.routeflg;
        ev.wetflg1 = sw.wetflg;
        ev.trcflg1 = sw.trcflg;
        ev.frcflg1 = sw.frcflg;
        ev.modelflg1 = sw.modelflg;
        ev.divertflg1 = sw.divertflg;
        ev.pafflg1 = sw.pafflg;
        ev.lakeflg1 = sw.lakeflg;
        ev.iceflg1 = sw.iceflg;
        ev.deltat_report1 = e.deltat_report;
        auto marks_all = [](char f) { return f == 'a' || f == 'A'; };
        ev.ensimflg_all = marks_all(sw.ensimflg);
        ev.grdflg_all = marks_all(sw.grdflg);
        ev.ntrlflg_all = marks_all(sw.ntrlflg);
        ev.smrflg_all = marks_all(sw.smrflg);
    } else {
        sw.snwflg = ev.snwflg1;
        sw.sedflg = ev.sedflg1;
        sw.resinflg = ev.resinflg1;
        sw.routeflg = ev.routeflg1;
        sw.wetflg = ev.wetflg1;
        sw.trcflg = ev.trcflg1;
        sw.frcflg = ev.frcflg1;
        sw.modelflg = ev.modelflg1;
        sw.divertflg = ev.divertflg1;
        sw.pafflg = ev.pafflg1;
        sw.lakeflg = ev.lakeflg1;
        sw.iceflg = ev.iceflg1;
        e.deltat_report = ev.deltat_report1;
    }
    if (ev.ensimflg_all) sw.ensimflg = 'y';
    if (ev.grdflg_all) sw.grdflg = 'y';
    if (ev.ntrlflg_all) sw.ntrlflg = 'y';
    if (ev.smrflg_all) sw.smrflg = 'y';
}

// Switches in lower case, a blank taken as "n".
void fold_switch_case(EventState& ev) {
    EventFlags& sw = ev.sw;
    for (char* f : {&sw.snwflg, &sw.vapflg, &sw.smrflg, &sw.resinflg, &sw.resumflg, &sw.tbcflg, &sw.contflg,
                    &sw.crseflg, &sw.ensimflg, &sw.picflg, &sw.shdflg, &sw.grdflg, &sw.ntrlflg, &sw.nudgeflg,
                    &sw.pafflg, &sw.fliflg, &sw.lakeflg, &sw.iceflg, &ev.snwflg1, &ev.sedflg1, &ev.routeflg1,
                    &ev.wetflg1, &ev.trcflg1, &ev.frcflg1, &ev.modelflg1}) {
        fold_yn(*f);
    }
    if (sw.resumflg == 'S') sw.resumflg = 's';
    if (ev.modelflg1 == 'R') ev.modelflg1 = 'r';
    else if (ev.modelflg1 == 'I') ev.modelflg1 = 'i';
    else if (ev.modelflg1 == 'D') ev.modelflg1 = 'd';
}

// Switch combinations that exclude each other; the first event also fixes
// the start of the run.
void check_switches(RunState& rs, bool first) {
    EventState& ev = rs.evt;
    const EventRecord& e = ev.event;
    if (ev.modelflg1 != 'n' && ev.sw.initflg == 'y') {
        rs.con.line("In the event file: initflg can not be `y`");
        rs.con.line("if the modelflg = not `n`");
        rs.con.line("i.e. if the modelflg = `i`, `r` or `l`");
        rs.con.blank();
        fatal_stop("Program aborted in rdevt @ 257");
    }
    if (!first) return;
    ev.year1 = e.year;
    ev.month1 = e.month;
    ev.day1 = e.day;
    ev.hour1 = e.hour;
    if (e.routeflg == 'y' && e.modelflg != 'n') {
        rs.con.line(" The route flag is flag no.  9 in column 49");
        rs.con.line(" The model flag is flag no. 14 in column 54");
        rs.con.line(" You can not have the routeflg = \"y\" AND");
        rs.con.line(" the modelflg = r, i or l ");
        rs.con.blank();
        rs.con.line(" Please pick one or the other as \"n\"");
        rs.con.line("   and try again. Sorry.");
        rs.con.blank();
        fatal_stop(" Program aborted in rdevt @ 198");
    }
}

// Scale factors: the first event's run factors win over an event's own.
void set_scale_factors(EventState& ev, bool first) {
    const EventRecord& e = ev.event;
    if (first) {
        ev.precipscalefactor1 = e.precipscalefactor > 0.0f ? e.precipscalefactor : 0.0f;
        ev.snowscalefactor1 = e.snowscalefactor;
        const float t = e.tempscalefactor;
        ev.temp_scale = (t > -0.01f && t < 0.01f) ? 0.0f : t;
    }
    ev.precip_scale = ev.precipscalefactor1 > 0.0f ? ev.precipscalefactor1 : e.eventprecipscalefactor;
    ev.snow_scale = ev.snowscalefactor1 > 0.0f ? ev.snowscalefactor1 : e.eventsnowscalefactor;
}

// Re-initialising states in the middle of a chain is rarely wanted.
void warn_resume(RunState& rs, bool first) {
    const EventFlags& sw = rs.evt.sw;
    if (first || sw.resumflg == 'n') return;
    rs.con.line("WARNING:");
    rs.con.line(msg() << "resumflg =" << shown_flag(sw.resumflg));
    rs.con.line("This will reinitialize state variables instead of ");
    rs.con.line("carrying on with the model values");
    rs.con.line("Not a good idea if not intended");
    rs.con.blank();
    rs.con.pause("Hit enter to continue & accept consequences");
}

}  // namespace

bool peek_event_names(Console& con, const std::string& name, std::array<std::string, 11>& names) {
    FileTable files;
    if (!file_exists(name) || files.open_read(evt_unit, name) != 0) return false;
    FileUnit& f = files[evt_unit];
    EventRecord e;
    for (int k = 1; k <= 10; ++k) e.names[static_cast<std::size_t>(k)] = "dummy";
    std::string line, key, value;
    while (next_keyword_line(f, line, key, value)) {
        const std::string_view k = trim_right(key);
        if (k == ":noeventstofollow") {
            while (f.get_line(line))  // the separator line is not read as a keyword
                if (len_trim(line) > 0) break;
            continue;
        }
        if (k == ":basinfilename" || k == ":parfilename" || k == ":pointdatalocations" || k == ":pointprecip" ||
            k == ":griddedrainfile") {
            // A name the event's own read will refuse is left out here; that
            // read stops with the full message.
            try {
                handle_event_key(con, e, key, value);
            } catch (const LongName&) {
            } catch (const BadValue&) {
            }
        }
    }
    for (int k : {1, 2, 3, 5, 10}) names[static_cast<std::size_t>(k)] = e.names[static_cast<std::size_t>(k)].trimmed();
    return true;
}

void check_event_date(RunState& rs) {
    const EventRecord& e = rs.evt.event;
    std::string what;
    int value = 0;
    if (e.year < min_event_year || e.year > max_event_year) {
        what = ":year";
        value = e.year;
    } else if (e.month < 1 || e.month > 12) {
        what = ":month";
        value = e.month;
    } else if (e.day < 1 || e.day > month_length(e.year, e.month)) {
        what = ":day";
        value = e.day;
    } else if (e.hour < 0 || e.hour > 23) {
        what = ":hour";
        value = e.hour;
    }
    if (what.empty()) return;
    const std::string name(rs.file_name(entry::event_file).trimmed());
    rs.con.line("ERROR in the event file " + name);
    rs.con.line("Start of the event: :year " + std::to_string(e.year) + " :month " + std::to_string(e.month) +
                " :day " + std::to_string(e.day) + " :hour " + std::to_string(e.hour));
    rs.con.line("The year must be " + std::to_string(min_event_year) + " to " + std::to_string(max_event_year) +
                ", the day one of its month (29 February in every");
    rs.con.line("year divisible by 4), the hour 0 to 23");
    fatal_stop("Program aborted in read_evt: impossible start " + what + " " + std::to_string(value) + " in " + name);
}

EventRead read_evt(RunState& rs) {
    EventState& ev = rs.evt;
    EventRecord& e = ev.event;
    EventFlags& sw = ev.sw;
    const bool first = rs.event_number == 1;
    const std::string name(rs.file_name(entry::event_file).trimmed());

    open_event_file(rs, name);
    reset_for_read(ev, first);
    read_lines(rs, name);
    check_event_reals(rs, name);
    set_date_text(rs);
    if (rs.iopt > 0) echo_as_read(rs);
    set_run_clock(ev);

    // The switches as read; the first event fixes the run's reset and header settings.
    sw = static_cast<const EventFlags&>(e);
    if (first) {
        if (e.resetflg == 'y' || e.resetflg == 'Y') ev.reset_run = true;
        if (e.hdrflg == 'y' || e.hdrflg == 'Y') ev.header_run = true;
    }
    take_file_names(rs, first);

    // An optimisation run (numa set) runs without tracers and fractions.
    if (numa_of(rs) != 0) sw.trcflg = sw.frcflg = 'n';
    if (numa_of(rs) <= 0) rs.files[info_unit].put_line(" Input files from event.evt");
    rs.files.close(evt_unit, true);

    apply_first_event_switches(ev, first);
    fold_switch_case(ev);
    check_switches(rs, first);
    set_scale_factors(ev, first);
    warn_resume(rs, first);

    const EventRead result{e.rainconvfactor, ev.precip_scale, e.intsoilmoisture, cut_to_int(e.hoursraindata),
                           cut_to_int(e.hoursflowdata)};
    if (rs.iopt > 0) echo_in_force(rs, result.hours_rain, result.hours_flow);
    return result;
}

}  // namespace nimbex
