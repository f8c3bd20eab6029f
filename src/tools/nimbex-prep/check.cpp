// check: reads a working directory with the program's own readers (console
// captured, nothing written) and adds what the readers let through.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
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

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A name as the file system sees it, for comparing inputs with outputs.
std::string same_file_key(std::string_view name) {
    std::string p = map_path(name);
    while (p.size() > 2 && p[0] == '.' && p[1] == '/') p.erase(0, 2);
    return p;
}

const char* const switch_names[] = {"snwflg",  "sedflg",   "vapflg",   "smrflg",  "resinflg", "tbcflg",
                                    "resumflg", "contflg", "routeflg", "crseflg", "ensimflg", "kenueflg",
                                    "picflg",  "wetflg",   "modelflg", "shdflg",  "trcflg",   "hdrflg",
                                    "frcflg",  "initflg",  "grdflg",   "ntrlflg", "nudgeflg", "resetflg",
                                    "divertflg", "pafflg", "fliflg",   "lakeflg", "iceflg"};
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

}  // namespace

int cmd_check(const Args& a, std::ostream& out) {
    const Options o = parse_options(a, {}, {}, 1);
    const std::string dir = o.positional.empty() ? "." : o.positional[0];
    if (::chdir(dir.c_str()) != 0) throw PrepError(dir + ": not a folder that can be entered");
    std::vector<Problem> problems;
    auto problem = [&](std::string what, std::string fix) { problems.push_back({std::move(what), std::move(fix)}); };
    auto report = [&]() {
        for (const auto& p : problems) out << "problem: " << p.what << ". Fix: " << p.fix << "\n";
        if (problems.empty()) out << "check: no problems found in " << dir << "\n";
        else out << "check: " << problems.size() << " problem" << (problems.size() == 1 ? "" : "s") << " in " << dir << "\n";
        return problems.empty() ? 0 : 1;
    };
    auto stop_text = [](ReaderSession& s, const FatalStop& stop) {
        const std::string why = ReaderSession::head(s.take_console(), 2);
        return (why.empty() ? "" : why + " / ") + stop.what();
    };

    // The events, as the program's event reader takes them.
    ReaderSession s;
    RunState& rs = s.rs();
    if (!file_exists("event/event.evt")) {
        problem("event/event.evt is not there", "run check in the basin's working directory, or write the event files "
                "with nimbex-prep events");
        return report();
    }
    // A stop of the event reader is reported, and the walk goes on with what
    // the file says as written, so that the other checks still run.
    std::vector<EventSeen> events;
    std::vector<std::string> chain{"event/event.evt"};
    rs.iopt = 1;
    for (std::size_t i = 0; i < chain.size() && i < 1024; ++i) {
        EventSeen e;
        e.file = chain[i];
        e.raw = scan_event_file(e.file, i == 0);
        rs.event_number = static_cast<int>(i) + 1;
        rs.file_name(entry::event_file) = e.file;
        EventRead got;
        bool read = false;
        if (!file_exists(e.file)) {
            problem("the event file " + e.file + " is not there", "correct the list after :noeventstofollow");
            continue;
        }
        try {
            got = read_evt(rs);
            read = true;
        } catch (const FatalStop& stop) {
            rs.files.close(unit::scratch);
            problem(e.file + ": the program stops reading it: " + stop_text(s, stop),
                    "correct the event file as the message says");
        }
        s.take_console();
        if (read) {
            for (int k = 1; k <= 10; ++k) e.entry[k] = std::string(rs.file_name(k).trimmed());
            e.year = rs.evt.year;
            e.month = rs.evt.month;
            e.day = rs.evt.day;
            e.hour = rs.evt.hour;
            e.hoursraindata = got.hours_rain;
            e.rainconvfactor = got.rain_conversion;
            if (i == 0)
                for (int k = 2; k <= rs.event_count && k < static_cast<int>(rs.evt.event_fln.size()); ++k)
                    chain.emplace_back(rs.evt.event_fln[static_cast<std::size_t>(k)].trimmed());
        } else {
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
        events.push_back(e);
    }
    if (events.empty()) return report();

    // Names cut by the event reader, and switches missing from chained events.
    for (const auto& e : events) {
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
    for (std::size_t k = 1; k < events.size(); ++k) {
        std::string missing;
        for (const char* sw : switch_names)
            if (events[0].raw.switches.count(sw) && !events[k].raw.switches.count(sw)) missing += std::string(" :") + sw;
        if (!missing.empty())
            problem(events[k].file + " has no line for" + missing + " (such a switch keeps the previous event's letter, "
                    ":fliflg, :lakeflg and :iceflg become n)",
                    "write every switch in every event file");
    }

    // Outputs that would overwrite inputs, or each other.
    std::map<std::string, std::string> inputs;
    for (const auto& e : events) {
        inputs[same_file_key(e.file)] = "event file";
        for (int k : {1, 2, 3, 5})
            if (!e.entry[k].empty() && e.entry[k] != "dummy") inputs[same_file_key(e.entry[k])] = "input of " + e.file;
    }
    inputs[same_file_key("basin\\elv_max.r2c")] = "elevation grid";
    std::map<std::string, std::string> outputs;
    for (const auto& e : events) {
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
    for (const auto& e : events) {
        const std::string grid_dir = std::filesystem::path(map_path(e.entry[10])).parent_path().string();
        if (!grid_dir.empty() && !std::filesystem::is_directory(grid_dir))
            problem(e.file + ": the folder " + grid_dir + " of the output grid is not there", "create it");
    }

    // The watershed file.
    const std::string shd = events[0].entry[1];
    const GridDescription* shd_grid = nullptr;
    GridDescription shd_grid_copy;
    ShedHeaderInfo shd_info;
    bool shd_ok = false;
    if (!file_exists(shd)) {
        problem("the watershed file " + shd + " is not there", "correct :basinfilename in event/event.evt");
    } else {
        try {
            shd_info = read_shed_header(rs.con, map_path(shd));
            s.take_console();
            if (!shd_info.has_key(":totalnumofgrids"))
                problem(shd + " has no :TotalNumOfGrids: the program then keeps no cell data (every elevation 0)",
                        "add :TotalNumOfGrids with the number of numbered cells (at least :NumGridsInBasin)");
            for (const char* k : {":numgridsinbasin", ":classcount", ":numriverclasses", ":nominalgridsize_al"})
                if (!shd_info.has_key(k))
                    problem(shd + " has no " + std::string(k), "add it to the header (see the README's input reference)");
            rs.file_name(entry::watershed) = shd;
            read_shed_ef(rs, unit::watershed, entry::watershed);
            s.take_console();
            shd_ok = true;
            shd_grid_copy = rs.grid;
            shd_grid = &shd_grid_copy;
            const ShedState& sh = rs.shed;
            long above = 0;
            int top = 0;
            for (int r : sh.rank)
                if (r > sh.totalnumofgrids) {
                    ++above;
                    top = std::max(top, r);
                }
            if (above > 0 && shd_info.has_key(":totalnumofgrids"))
                problem(shd + ": " + std::to_string(above) + " cell(s) numbered above :TotalNumOfGrids " +
                            std::to_string(sh.totalnumofgrids) + " (up to " + std::to_string(top) + ") get no cell data",
                        "set :TotalNumOfGrids to at least " + std::to_string(top));
            if (!(sh.nominalgridsize_al > 0.0f))
                problem(shd + ": :NominalGridSize_AL is not above 0; the program cannot convert km to cells",
                        "set it to the cell size in metres");
            const int n = sh.classcount;
            const auto& names = shd_info.attribute_names;
            for (int k = 0; k < n && static_cast<int>(names.size()) - n + k >= 0; ++k) {
                const std::string& c = names[names.size() - n + k];
                if (c.size() > 10)
                    problem(shd + ": class name " + c + " is longer than the 10 characters a parameter file keeps",
                            "shorten it to 10 characters");
            }
        } catch (const FatalStop& stop) {
            s.rs().files.close(unit::watershed);
            problem(shd + ": the program stops reading it: " + stop_text(s, stop), "correct the watershed file");
        } catch (const PrepError& e) {
            problem(e.what(), "correct the watershed file");
        }
    }

    // The parameter file.
    const std::string par = events[0].entry[2];
    std::string par_ext;
    if (auto dot = par.find('.'); dot != std::string::npos) par_ext = std::string(trim_right(par.substr(dot + 1, 3)));
    if (!shd_ok) {
        // Its classes are checked against the watershed's: nothing to check against.
    } else if (par_ext != "csv") {
        problem("the parameter file " + par + " is not read (the program reads only .csv files): the run has no "
                "radius of influence, smoothing distance or lapse rate",
                "name the .csv parameter file in :parfilename");
    } else if (!file_exists(par)) {
        problem("the parameter file " + par + " is not there", "correct :parfilename, or write one with nimbex-prep template");
    } else {
        try {
            create_class_arrays(rs);
            rs.par.evt_smrflg = rs.evt.sw.smrflg;
            rs.par.evt_wetflg = rs.evt.sw.wetflg;
            rs.par.evt_trcflg = rs.evt.sw.trcflg;
            read_par_parser(rs, unit::parameters, entry::parameters);
            std::istringstream said(s.take_console());
            std::string first;
            for (std::string l; std::getline(said, l);) {
                const std::string ll = lower(l);
                if (first.empty() && (ll.find("warning") != std::string::npos || ll.find("enter") != std::string::npos))
                    first = std::string(trim(l));
            }
            if (!first.empty())
                problem("the parameter checks warn or pause on " + par + ": " + first,
                        "correct the value named (nimbex-prep template writes a file that passes silently)");
            const auto& names = shd_info.attribute_names;
            const int n = rs.shed.classcount;
            for (int k = 1; k <= n && static_cast<std::size_t>(k) < rs.par.class_name.size(); ++k) {
                if (static_cast<int>(names.size()) - n + k - 1 < 0) break;
                const std::string w = lower(fit(names[names.size() - n + k - 1], 10));
                const std::string p = lower(std::string(rs.par.class_name[k].str()));
                if (std::string(trim(w)) != std::string(trim(p)))
                    problem("class " + std::to_string(k) + " is " + std::string(trim(p)) + " in " + par + " but " +
                                std::string(trim(w)) + " in " + shd,
                            "list :ClassName in the order of the watershed's class attributes");
            }
        } catch (const FatalStop& stop) {
            rs.files.close(unit::parameters);
            problem(par + ": the program stops reading it: " + stop_text(s, stop), "correct the parameter file");
        }
    }

    // The point-data-locations header against the watershed's grid.
    const std::string pdl = events[0].entry[3];
    if (shd_grid && !file_exists(pdl)) {
        problem("the point data locations file " + pdl + " is not there", "correct :pointdatalocations, or write it "
                "with nimbex-prep template");
    } else if (shd_grid) {
        int nx = 0, ny = 0;
        try {
            inpgrd(rs, nx, ny, pdl_header_only);
            s.take_console();
            const GridDescription& g = rs.grid;
            const GridDescription& w = *shd_grid;
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
                problem(pdl + " describes another grid than " + shd + ":" + diff +
                            (nx < w.xcount || ny < w.ycount ? " (smaller: the program stops)" : ""),
                        "write the pdl header of the watershed's grid (nimbex-prep template)");
        } catch (const FatalStop& stop) {
            rs.files.close(unit::pdl);
            problem(pdl + ": the program stops reading it: " + stop_text(s, stop), "correct the pdl header");
        }
    }

    // The static elevation grid.
    if (shd_ok && file_exists("basin\\elv_max.r2c")) {
        rs.file_name(entry::static_grid) = "basin\\elv_max.r2c";
        std::vector<float> g;
        try {
            read_gsm_ef(rs, unit::static_grid, entry::static_grid, g, 'n');
            s.take_console();
        } catch (const FatalStop& stop) {
            rs.files.close(unit::static_grid);
            // The reader names each value that differs ("xorig_swe.ne.xorigin").
            const std::string said = s.take_console();
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
    std::set<std::string> cut_names;
    for (std::size_t k = 0; k < events.size(); ++k) {
        const EventSeen& e = events[k];
        const std::string t = e.entry[5];
        std::string ext;
        if (auto dot = t.find('.'); dot != std::string::npos) ext = std::string(trim_right(t.substr(dot + 1, 3)));
        if (ext != "tb0") continue;  // legacy files and model grids are not compared here
        if (!file_exists(t)) {
            problem(e.file + ": the gauge table " + t + " is not there", "correct :pointprecip");
            continue;
        }
        TableInfo ti;
        try {
            ti = read_table_info(s, map_path(t));
        } catch (const PrepError& err) {
            problem(err.what(), "correct the gauge table");
            continue;
        }
        for (const auto& n : ti.column_names)
            if (n.size() > 12 && cut_names.insert(n).second)
                problem(t + ": gauge name " + n + " is longer than the 12 characters the program keeps",
                        "shorten it to 12 characters");
        if (ti.unit_conversion != events[0].rainconvfactor)
            problem(t + " has :UnitConversion " + real_text(ti.unit_conversion) + " but event/event.evt has "
                        ":rainconvfactor " + real_text(events[0].rainconvfactor) +
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
        if (k + 1 < events.size()) {
            const EventSeen& nx = events[k + 1];
            const long next_start = days_from_civil(nx.year, nx.month, nx.day) * 24 + nx.hour;
            if (next_start < ev_start + ti.nhours)
                problem(t + " runs to " + stamp(ev_start + ti.nhours, false) + ", past the start of the next event (" +
                            nx.file + ", " + stamp(next_start, false) + "): hours counted twice",
                        "end the table where the next event begins");
        }
    }
    return report();
}

}  // namespace nimbex::prep
