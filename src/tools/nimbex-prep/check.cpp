// check: reads a working directory with the program's own readers (console
// captured, nothing written) and adds what the readers let through.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <set>
#include <type_traits>

#include "ensim/keyword_line.h"
#include "platform/fatal.h"
#include "platform/file_units.h"
#include "platform/files.h"
#include "readers/pdl_header.h"
#include "readers/event_file.h"
#include "readers/static_grid.h"
#include "readers/parameter_file.h"
#include "readers/watershed_file.h"
#include "tools/nimbex-prep/prep.h"

namespace nimbex::prep {

namespace {

struct Problem {
    std::string what, fix;
};

// A name as the file system sees it, for comparing inputs with outputs.
std::string same_file_key(std::string_view name) {
    std::string p = map_path(name);
    while (p.size() > 2 && p[0] == '.' && p[1] == '/') p.erase(0, 2);
    return p;
}

// The file-name keywords of an event file (its entries 1, 2, 3, 5 and 10).
const char* const name_keys[] = {":basinfilename", ":parfilename", ":pointdatalocations", ":pointprecip",
                                 ":griddedrainfile"};

// What an event file holds as written: its switches and the raw words of its
// file names and chained names (before the program cuts them).
struct RawEvent {
    std::map<std::string, std::string> numbers;  // :year ... :rainconvfactor, first word as written
    std::set<std::string> switches;
    std::vector<std::pair<std::string, std::string>> names;  // keyword, word as written
    std::vector<std::string> chain;                           // chained names as written
};

// Only the first event file's :noeventstofollow starts a chain.
RawEvent scan_event_file(const std::string& path, bool first) {
    RawEvent r;
    FileTable files;
    if (files.open_read(unit::scratch, path) != 0) return r;
    std::string line, key, value;
    int chain_left = -1;  // -1: no chain; else lines still to take (after the separator)
    bool separator = false;
    while (files[unit::scratch].get_line(line)) {
        tabs_to_blanks(line);
        const std::string t(trim(line));
        if (chain_left > 0 && separator) {
            if (t.empty()) continue;
            r.chain.push_back(t);
            --chain_left;
            continue;
        }
        if (chain_left > 0 && !separator) {
            if (!t.empty()) separator = true;
            continue;
        }
        if (t.empty() || t[0] != ':') continue;
        key.clear();
        value.clear();
        split_line(t, key, value);
        lower_case(key);
        key = std::string(trim(key));
        if (key.size() > 1 && key.size() > 3 && key.compare(key.size() - 3, 3, "flg") == 0) r.switches.insert(key.substr(1));
        for (const char* k : name_keys) {
            std::string w, rest;
            if (key == k && next_word(value, w, rest)) r.names.emplace_back(key, w);
        }
        for (const char* k : {":year", ":month", ":day", ":hour", ":hoursraindata", ":rainconvfactor"}) {
            std::string w, rest;
            if (key == k && next_word(value, w, rest)) r.numbers[key] = w;
        }
        if (key == ":noeventstofollow") {
            std::string w, rest;
            if (next_word(value, w, rest)) {
                int n = 0;
                try { take_value(w, n); } catch (const FatalStop&) { n = 0; }
                if (first && n > 0 && r.chain.empty()) chain_left = n;
            }
        }
    }
    return r;
}

// What the event reader would have taken from a file it stopped on: the
// names and numbers as the toolkit's free-format read takes words.
template <typename T>
T raw_number(const RawEvent& r, const char* key) {
    T v{};
    auto it = r.numbers.find(key);
    if (it == r.numbers.end()) return v;
    try {
        if constexpr (std::is_same_v<T, int>) {
            take_value(it->second, v);
        } else {
            float f = 0.0f;
            take_value(it->second, f);
            v = static_cast<T>(f);
        }
    } catch (const FatalStop&) {
        v = T{};
    }
    return v;
}

struct EventSeen {
    std::string file;
    std::array<std::string, 11> entry;  // file-name entries 1..10 as read
    int year = 0, month = 0, day = 0, hour = 0, hoursraindata = 0;
    float rainconvfactor = 0.0f;
    RawEvent raw;
};

// One check of a working directory (the current folder): each step adds the
// problems it finds; the later steps compare with what the earlier read.
class Check {
public:
    Check(std::string dir, std::ostream& out) : dir_(std::move(dir)), out_(out) {}
    int run();

private:
    void problem(std::string what, std::string fix) { problems_.push_back({std::move(what), std::move(fix)}); }
    int report();
    std::string stop_text(const FatalStop& stop);
    RunState& rs() { return s_.rs(); }

    void read_events();
    void take_event_as_read(EventSeen& e, std::size_t i, int hours, float conv, std::vector<std::string>& chain);
    void take_event_as_written(EventSeen& e, std::size_t i, std::vector<std::string>& chain);
    void check_event_names();
    void check_outputs();
    void check_watershed();
    void check_shed_header(const std::string& shd);
    void check_shed_cells(const std::string& shd);
    void check_parameters();
    void check_parameter_classes(const std::string& par, const ParResult& par_read);
    void check_pdl();
    void check_static_grid();
    void check_gauge_tables();
    void check_gauge_table(std::size_t k, std::set<std::string>& cut_names);

    std::string dir_;
    std::ostream& out_;
    std::vector<Problem> problems_;
    ReaderSession s_;
    std::vector<EventSeen> events_;
    // The watershed as its reader gave it, when it read without a stop.
    bool shd_ok_ = false;
    GridDescription shd_grid_;
    ShedHeaderInfo shd_info_;
};

int Check::report() {
    for (const auto& p : problems_) out_ << "problem: " << p.what << ". Fix: " << p.fix << "\n";
    if (problems_.empty()) out_ << "check: no problems found in " << dir_ << "\n";
    else out_ << "check: " << problems_.size() << " problem" << (problems_.size() == 1 ? "" : "s") << " in " << dir_ << "\n";
    return problems_.empty() ? 0 : 1;
}

std::string Check::stop_text(const FatalStop& stop) {
    const std::string why = ReaderSession::head(s_.take_console(), 2);
    return (why.empty() ? "" : why + " / ") + stop.what();
}

int Check::run() {
    if (!file_exists("event/event.evt")) {
        problem("event/event.evt is not there", "run check in the basin's working directory, or write the event files "
                "with nimbex-prep events");
        return report();
    }
    read_events();
    if (events_.empty()) return report();
    check_event_names();
    check_outputs();
    check_watershed();
    check_parameters();
    check_pdl();
    check_static_grid();
    check_gauge_tables();
    return report();
}

// The events, as the program's event reader takes them. A stop of the event
// reader is reported, and the walk goes on with what the file says as
// written, so that the other checks still run.
void Check::read_events() {
    std::vector<std::string> chain{"event/event.evt"};
    rs().iopt = 1;
    for (std::size_t i = 0; i < chain.size() && i < 1024; ++i) {
        EventSeen e;
        e.file = chain[i];
        e.raw = scan_event_file(e.file, i == 0);
        rs().event_number = static_cast<int>(i) + 1;
        rs().file_name(entry::event_file) = e.file;
        EventRead got;
        bool read = false;
        if (!file_exists(e.file)) {
            problem("the event file " + e.file + " is not there", "correct the list after :noeventstofollow");
            continue;
        }
        try {
            got = read_evt(rs());
            read = true;
        } catch (const FatalStop& stop) {
            rs().files.close(unit::scratch);
            problem(e.file + ": the program stops reading it: " + stop_text(stop),
                    "correct the event file as the message says");
        }
        s_.take_console();
        if (read) take_event_as_read(e, i, got.hours_rain, got.rain_conversion, chain);
        else take_event_as_written(e, i, chain);
        events_.push_back(e);
    }
}

void Check::take_event_as_read(EventSeen& e, std::size_t i, int hours, float conv, std::vector<std::string>& chain) {
    RunState& state = rs();
    for (int k = 1; k <= 10; ++k) e.entry[k] = std::string(state.file_name(k).trimmed());
    e.year = state.evt.year;
    e.month = state.evt.month;
    e.day = state.evt.day;
    e.hour = state.evt.hour;
    e.hoursraindata = hours;
    e.rainconvfactor = conv;
    if (i == 0)
        for (int k = 2; k <= state.event_count && k < static_cast<int>(state.evt.event_fln.size()); ++k)
            chain.emplace_back(state.evt.event_fln[static_cast<std::size_t>(k)].trimmed());
}

// What the event reader would have taken from the file it stopped on.
void Check::take_event_as_written(EventSeen& e, std::size_t i, std::vector<std::string>& chain) {
    const int slots[] = {1, 2, 3, 5, 10};
    for (std::size_t n = 0; n < 5; ++n)
        for (const auto& [key, word] : e.raw.names)
            if (key == name_keys[n]) {
                std::string w = word;
                if (slots[n] <= 2) file_part(w);
                std::string v;
                take_text(w, v);
                e.entry[slots[n]] = fit(v, 60);
                e.entry[slots[n]] = std::string(trim_right(e.entry[slots[n]]));
            }
    e.year = raw_number<int>(e.raw, ":year");
    e.month = raw_number<int>(e.raw, ":month");
    e.day = raw_number<int>(e.raw, ":day");
    e.hour = raw_number<int>(e.raw, ":hour");
    e.hoursraindata = raw_number<int>(e.raw, ":hoursraindata");
    e.rainconvfactor = raw_number<float>(e.raw, ":rainconvfactor");
    if (i == 0)
        for (const auto& c : e.raw.chain) chain.emplace_back(trim_right(fit(c, 30)));
}

// Names cut by the event reader, and switches missing from chained events.
void Check::check_event_names() {
    for (const auto& e : events_) {
        for (const auto& [key, word] : e.raw.names) {
            if (word.find('/') != std::string::npos)
                problem(e.file + ": " + key + " " + word + " is cut at '/'" +
                            (key == ":basinfilename" || key == ":parfilename" ? " (only the part after the last '/' is kept)"
                                                                             : " (only the part before the first '/' is kept)"),
                        "write '\\' between folders in event files");
            else if (word.size() > 60)
                problem(e.file + ": " + key + " " + word + " is longer than the 60 characters the program keeps",
                        "use a shorter name");
        }
        for (const auto& c : e.raw.chain)
            if (c.size() > 30)
                problem(e.file + ": chained event file name " + c + " is longer than the 30 characters the program keeps",
                        "use a shorter name (for instance event\\yyyymmdd.evt)");
    }
    for (std::size_t k = 1; k < events_.size(); ++k) {
        std::string missing;
        for (const char* sw : event_switches)
            if (events_[0].raw.switches.count(sw) && !events_[k].raw.switches.count(sw)) missing += std::string(" :") + sw;
        if (!missing.empty())
            problem(events_[k].file + " has no line for" + missing + " (such a switch keeps the previous event's letter, "
                    ":fliflg, :lakeflg and :iceflg become n)",
                    "write every switch in every event file");
    }
}

// Outputs that would overwrite inputs, or each other.
void Check::check_outputs() {
    std::map<std::string, std::string> inputs;
    for (const auto& e : events_) {
        inputs[same_file_key(e.file)] = "event file";
        for (int k : {1, 2, 3, 5})
            if (!e.entry[k].empty() && e.entry[k] != "dummy") inputs[same_file_key(e.entry[k])] = "input of " + e.file;
    }
    inputs[same_file_key("basin\\elv_max.r2c")] = "elevation grid";
    std::map<std::string, std::string> outputs;
    for (const auto& e : events_) {
        const std::string k = same_file_key(e.entry[10]);
        if (inputs.count(k))
            problem(e.file + ": the output grid " + e.entry[10] + " would overwrite an input (" + inputs[k] + ")",
                    "give :griddedrainfile a name of its own, such as radcl\\yyyymmdd_met.r2c");
        else if (outputs.count(k))
            problem(e.file + ": the output grid " + e.entry[10] + " is also the output of " + outputs[k],
                    "give every event its own :griddedrainfile");
        outputs[k] = e.file;
    }
    for (const char* fixed : {"nimbex_sum.r2c", "nimbex_info.txt", "nimbex_cumm.txt", "nimbex_recl.txt",
                              "nimbex_flag.txt", "nimbex_yrly.txt", "precip_sta.xyz", "junk"})
        if (inputs.count(fixed))
            problem(std::string("the program writes ") + fixed + ", which is also an input (" + inputs[fixed] + ")",
                    "rename that input");
    for (const auto& e : events_) {
        const std::string grid_dir = std::filesystem::path(map_path(e.entry[10])).parent_path().string();
        if (!grid_dir.empty() && !std::filesystem::is_directory(grid_dir))
            problem(e.file + ": the folder " + grid_dir + " of the output grid is not there", "create it");
    }
}

// The watershed file: its header keys as written, then what its reader keeps.
void Check::check_watershed() {
    const std::string shd = events_[0].entry[1];
    if (!file_exists(shd)) {
        problem("the watershed file " + shd + " is not there", "correct :basinfilename in event/event.evt");
        return;
    }
    try {
        check_shed_header(shd);
        rs().file_name(entry::watershed) = shd;
        read_shed_ef(rs(), unit::watershed, entry::watershed);
        s_.take_console();
        shd_ok_ = true;
        shd_grid_ = rs().grid;
        check_shed_cells(shd);
    } catch (const FatalStop& stop) {
        s_.rs().files.close(unit::watershed);
        problem(shd + ": the program stops reading it: " + stop_text(stop), "correct the watershed file");
    } catch (const PrepError& e) {
        problem(e.what(), "correct the watershed file");
    }
}

void Check::check_shed_header(const std::string& shd) {
    shd_info_ = read_shed_header(rs().con, map_path(shd));
    s_.take_console();
    if (!shd_info_.has_key(":totalnumofgrids"))
        problem(shd + " has no :TotalNumOfGrids: the program then keeps no cell data (every elevation 0)",
                "add :TotalNumOfGrids with the number of numbered cells (at least :NumGridsInBasin)");
    for (const char* k : {":numgridsinbasin", ":classcount", ":numriverclasses", ":nominalgridsize_al"})
        if (!shd_info_.has_key(k))
            problem(shd + " has no " + std::string(k), "add it to the header (see the README's input reference)");
}

// Ranks beyond the cell count, the grid size and the class names.
void Check::check_shed_cells(const std::string& shd) {
    const ShedState& sh = rs().shed;
    long above = 0;
    int top = 0;
    for (int r : sh.rank)
        if (r > sh.totalnumofgrids) {
            ++above;
            top = std::max(top, r);
        }
    if (above > 0 && shd_info_.has_key(":totalnumofgrids"))
        problem(shd + ": " + std::to_string(above) + " cell(s) numbered above :TotalNumOfGrids " +
                    std::to_string(sh.totalnumofgrids) + " (up to " + std::to_string(top) + ") get no cell data",
                "set :TotalNumOfGrids to at least " + std::to_string(top));
    if (!(sh.nominalgridsize_al > 0.0f))
        problem(shd + ": :NominalGridSize_AL is not above 0; the program cannot convert km to cells",
                "set it to the cell size in metres");
    const int n = sh.classcount;
    const auto& names = shd_info_.attribute_names;
    for (int k = 0; k < n && static_cast<int>(names.size()) - n + k >= 0; ++k) {
        const std::string& c = names[names.size() - n + k];
        if (c.size() > 10)
            problem(shd + ": class name " + c + " is longer than the 10 characters a parameter file keeps",
                    "shorten it to 10 characters");
    }
}

// The parameter file, read after the watershed as the program reads it.
void Check::check_parameters() {
    const std::string par = events_[0].entry[2];
    std::string par_ext;
    if (auto dot = par.find('.'); dot != std::string::npos) par_ext = std::string(trim_right(par.substr(dot + 1, 3)));
    if (!shd_ok_) {
        // Its classes are checked against the watershed's: nothing to check against.
    } else if (par_ext != "csv") {
        problem("the parameter file " + par + " is not read (the program reads only .csv files): the run has no "
                "radius of influence, smoothing distance or lapse rate",
                "name the .csv parameter file in :parfilename");
    } else if (!file_exists(par)) {
        problem("the parameter file " + par + " is not there", "correct :parfilename, or write one with nimbex-prep template");
    } else {
        try {
            RunState& state = rs();
            const ParResult par_read = read_par_parser(state, unit::parameters, entry::parameters,
                                                       {state.evt.sw.smrflg, state.evt.sw.wetflg, state.evt.sw.trcflg});
            check_parameter_classes(par, par_read);
        } catch (const FatalStop& stop) {
            rs().files.close(unit::parameters);
            problem(par + ": the program stops reading it: " + stop_text(stop), "correct the parameter file");
        }
    }
}

// What the parameter checks said, and the classes against the watershed's.
void Check::check_parameter_classes(const std::string& par, const ParResult& par_read) {
    std::istringstream said(s_.take_console());
    std::string first;
    for (std::string l; std::getline(said, l);) {
        const std::string ll = lower(l);
        if (first.empty() && (ll.find("warning") != std::string::npos || ll.find("enter") != std::string::npos))
            first = std::string(trim(l));
    }
    if (!first.empty())
        problem("the parameter checks warn or pause on " + par + ": " + first,
                "correct the value named (nimbex-prep template writes a file that passes silently)");
    const std::string& shd = events_[0].entry[1];
    const auto& names = shd_info_.attribute_names;
    const int n = rs().shed.classcount;
    for (int k = 1; k <= n && static_cast<std::size_t>(k) < par_read.class_name.size(); ++k) {
        if (static_cast<int>(names.size()) - n + k - 1 < 0) break;
        const std::string w = lower(fit(names[names.size() - n + k - 1], 10));
        const std::string p = lower(std::string(par_read.class_name[k].str()));
        if (std::string(trim(w)) != std::string(trim(p)))
            problem("class " + std::to_string(k) + " is " + std::string(trim(p)) + " in " + par + " but " +
                        std::string(trim(w)) + " in " + shd,
                    "list :ClassName in the order of the watershed's class attributes");
    }
}

// The point-data-locations header against the watershed's grid.
void Check::check_pdl() {
    const std::string pdl = events_[0].entry[3];
    if (!shd_ok_) return;
    if (!file_exists(pdl)) {
        problem("the point data locations file " + pdl + " is not there", "correct :pointdatalocations, or write it "
                "with nimbex-prep template");
        return;
    }
    int nx = 0, ny = 0;
    try {
        inpgrd(rs(), nx, ny, pdl_header_only);
        s_.take_console();
        const GridDescription& g = rs().grid;
        const GridDescription& w = shd_grid_;
        std::string diff;
        auto cmp = [&](const char* what, double p, double q, double tol) {
            if (std::fabs(p - q) > tol) diff += std::string(" ") + what + " " + real_text(p) + " (watershed " + real_text(q) + ")";
        };
        cmp("xOrigin", g.xorigin, w.xorigin, 1.0e-3);
        cmp("yOrigin", g.yorigin, w.yorigin, 1.0e-3);
        cmp("xDelta", g.xdelta, w.xdelta, 1.0e-3);
        cmp("yDelta", g.ydelta, w.ydelta, 1.0e-3);
        if (nx != w.xcount) diff += " xCount " + std::to_string(nx) + " (watershed " + std::to_string(w.xcount) + ")";
        if (ny != w.ycount) diff += " yCount " + std::to_string(ny) + " (watershed " + std::to_string(w.ycount) + ")";
        if (!diff.empty())
            problem(pdl + " describes another grid than " + events_[0].entry[1] + ":" + diff +
                        (nx < w.xcount || ny < w.ycount ? " (smaller: the program stops)" : ""),
                    "write the pdl header of the watershed's grid (nimbex-prep template)");
    } catch (const FatalStop& stop) {
        rs().files.close(unit::pdl);
        problem(pdl + ": the program stops reading it: " + stop_text(stop), "correct the pdl header");
    }
}

// The static elevation grid, when there is one.
void Check::check_static_grid() {
    if (!shd_ok_ || !file_exists("basin\\elv_max.r2c")) return;
    rs().file_name(entry::static_grid) = "basin\\elv_max.r2c";
    std::vector<float> g;
    try {
        read_gsm_ef(rs(), unit::static_grid, entry::static_grid, g, 'n');
        s_.take_console();
    } catch (const FatalStop& stop) {
        rs().files.close(unit::static_grid);
        // The reader names each value that differs ("xorig_swe.ne.xorigin").
        const std::string said = s_.take_console();
        std::istringstream lines(said);
        std::string which;
        for (std::string l; std::getline(lines, l);)
            if (l.find(".ne.") != std::string::npos) which += (which.empty() ? "" : ", ") + std::string(trim(l));
        problem("basin/elv_max.r2c does not fit the grid" + (which.empty() ? std::string() : " (" + which + ")") +
                    ": " + (which.empty() ? ReaderSession::head(said, 2) + " / " : std::string()) + stop.what(),
                "write it on the watershed's grid (nimbex-prep elevation) or delete it");
    }
}

// Gauge tables against their events.
void Check::check_gauge_tables() {
    std::set<std::string> cut_names;
    for (std::size_t k = 0; k < events_.size(); ++k) check_gauge_table(k, cut_names);
}

void Check::check_gauge_table(std::size_t k, std::set<std::string>& cut_names) {
    const EventSeen& e = events_[k];
    const std::string t = e.entry[5];
    std::string ext;
    if (auto dot = t.find('.'); dot != std::string::npos) ext = std::string(trim_right(t.substr(dot + 1, 3)));
    if (ext != "tb0") return;  // legacy files and model grids are not compared here
    if (!file_exists(t)) {
        problem(e.file + ": the gauge table " + t + " is not there", "correct :pointprecip");
        return;
    }
    TableInfo ti;
    try {
        ti = read_table_info(s_, map_path(t));
    } catch (const PrepError& err) {
        problem(err.what(), "correct the gauge table");
        return;
    }
    for (const auto& n : ti.column_names)
        if (n.size() > 12 && cut_names.insert(n).second)
            problem(t + ": gauge name " + n + " is longer than the 12 characters the program keeps",
                    "shorten it to 12 characters");
    if (ti.unit_conversion != events_[0].rainconvfactor)
        problem(t + " has :UnitConversion " + real_text(ti.unit_conversion) + " but event/event.evt has "
                    ":rainconvfactor " + real_text(events_[0].rainconvfactor) +
                    ": the run warns, waits for Enter and uses the table's",
                "give both the same factor (1.0 for mm)");
    const long ev_start = days_from_civil(e.year, e.month, e.day) * 24 + e.hour;
    if (!ti.has_start) {
        problem(t + " has no :StartTime; its start cannot be compared with " + e.file,
                "add :StartTime yyyy/mm/dd hh:00:00.000, the end of the first step");
    } else if (ti.start - ti.deltat != ev_start) {
        problem(t + ": its first step begins at " + stamp(ti.start - ti.deltat, false) + " but " + e.file +
                    " starts the event at " + stamp(ev_start, false),
                "set :year :month :day :hour of the event to the beginning of the first step (:StartTime minus :DeltaT)");
    }
    if (ti.nhours != e.hoursraindata)
        problem(t + " holds " + std::to_string(ti.nhours) + " hours but " + e.file + " says :hoursraindata " +
                    std::to_string(e.hoursraindata),
                "set :hoursraindata to " + std::to_string(ti.nhours));
    if (k + 1 < events_.size()) {
        const EventSeen& nx = events_[k + 1];
        const long next_start = days_from_civil(nx.year, nx.month, nx.day) * 24 + nx.hour;
        if (next_start < ev_start + ti.nhours)
            problem(t + " runs to " + stamp(ev_start + ti.nhours, false) + ", past the start of the next event (" +
                        nx.file + ", " + stamp(next_start, false) + "): hours counted twice",
                    "end the table where the next event begins");
    }
}

}  // namespace

int cmd_check(const Args& a, std::ostream& out) {
    const Options o = parse_options(a, {}, {}, 1);
    const std::string dir = o.positional.empty() ? "." : o.positional[0];
    if (::chdir(dir.c_str()) != 0) throw PrepError(dir + ": not a folder that can be entered");
    Check check(dir, out);
    return check.run();
}

}  // namespace nimbex::prep
