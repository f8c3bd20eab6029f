// Event files for a folder of gauge tables: event/event.evt for the first
// table, chained event files for the others.
#include <algorithm>
#include <filesystem>
#include <ostream>

#include "ensim/header.h"
#include "ensim/keyword_line.h"
#include "ensim/tb0_header.h"
#include "platform/fatal.h"
#include "platform/file_units.h"
#include "platform/files.h"
#include "platform/fortran_format.h"
#include "readers/gauge_table.h"
#include "tools/nimbex-prep/prep.h"

namespace nimbex::prep {

namespace {

constexpr std::size_t name_field = 60;   // file names of an event file
constexpr std::size_t chain_field = 30;  // names of chained event files

std::string field_name(const std::string& path, const char* what) {
    const std::string p = event_path(path);
    if (p.size() > name_field)
        throw PrepError(what + std::string(" '") + p + "' is longer than the " + std::to_string(name_field) +
                        " characters an event file keeps; use a shorter name");
    if (p.find_first_of(" ,\t") != std::string::npos)
        throw PrepError(what + std::string(" '") + p + "': an event file ends a name at a blank or comma");
    return p;
}

}  // namespace

TableInfo read_table_info(ReaderSession& s, const std::string& path) {
    TableInfo t;
    RunState& rs = s.rs();
    // The start and the column names as the header parser reads them.
    {
        FileTable files;
        if (files.open_read(unit::gauges, path) != 0) throw PrepError(path + ": cannot be opened");
        Tb0Header h;
        init_tb0_header(h);
        Tb0ColumnMetaData cols;
        bool in_block = false;
        try {
            read_header(
                rs.con, files[unit::gauges],
                [&](std::string_view key, std::string_view value) -> KeyOutcome {
                    const std::string k(trim(key));
                    if (k == ":columnmetadata") { in_block = true; return key_stored; }
                    if (k == ":endcolumnmetadata") { in_block = false; return key_stored; }
                    if (in_block) return handle_column_key(cols, k, value);
                    if (k == ":starttime") {
                        std::string date, rest, time, more;
                        if (next_word(value, date, rest) && next_word(rest, time, more) &&
                            parse_time(date + " " + time, t.start))
                            t.has_start = true;
                        return key_stored;
                    }
                    return handle_tb0_key(rs.con, h, k, value);
                },
                "read_rag_ef", path, gauge_table_line_size);
        } catch (const FatalStop& stop) {
            throw PrepError(path + ": the program's table reader stops: " + ReaderSession::head(s.take_console(), 2) +
                            " / " + stop.what());
        }
        for (const auto& n : cols.column_name) t.column_names.emplace_back(n.trimmed());
    }
    rs.file_name(entry::gauges) = path;
    GaugeCounts counts;
    try {
        counts = read_rag_ef(rs, unit::gauges, entry::gauges).counts;
    } catch (const FatalStop& stop) {
        rs.files.close(unit::gauges);
        throw PrepError(path + ": the program's table reader stops: " + ReaderSession::head(s.take_console(), 2) +
                        " / " + stop.what());
    }
    s.take_console();
    t.nhours = counts.nhours;
    t.unit_conversion = counts.unit_conversion;
    t.deltat = rs.gauges.deltat;
    return t;
}

namespace {

// The tables of the gauge folder, in the order of their names (their dates).
std::vector<std::string> find_tables(const std::string& gdir) {
    std::vector<std::string> tables;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(gdir, ec)) {
        const std::string n = e.path().filename().string();
        if (e.is_regular_file() && n.size() > 8 && n.compare(n.size() - 8, 8, "_rag.tb0") == 0)
            tables.push_back(gdir + "/" + n);
    }
    if (ec) throw PrepError("--gauges " + gdir + ": " + ec.message());
    if (tables.empty()) throw PrepError("--gauges " + gdir + ": no yyyymmdd_rag.tb0 table in it");
    std::sort(tables.begin(), tables.end());
    return tables;
}

// One event per table: its file, the name the first event chains it by, its
// output grid, and the start and hours its table gives.
struct Ev {
    std::string table, evt_file, chain_name, grid;
    TableInfo info;
    Civil start;
};

std::vector<Ev> plan_events(const std::vector<std::string>& tables, const std::string& dir, const std::string& grids,
                            const OutputOptions& oo) {
    std::vector<Ev> evs;
    ReaderSession s;
    for (const auto& t : tables) {
        Ev e;
        e.table = t;
        e.info = read_table_info(s, t);
        if (!e.info.has_start)
            throw PrepError(t + ": no :StartTime line (\"yyyy/mm/dd hh:00:00.000\", the end of the first step)");
        if (e.info.deltat < 1) throw PrepError(t + ": :DeltaT below 1");
        e.start = civil_from_hours(e.info.start - e.info.deltat);
        char stem[16];
        std::snprintf(stem, sizeof stem, "%04d%02d%02d", e.start.y, e.start.m, e.start.d);
        e.evt_file = evs.empty() ? dir + "/event.evt" : dir + "/" + stem + ".evt";
        e.chain_name = event_path(e.evt_file);
        if (!evs.empty() && e.chain_name.size() > chain_field)
            throw PrepError("chained event file name '" + e.chain_name + "' is longer than the " +
                            std::to_string(chain_field) + " characters event.evt keeps; use a shorter --out");
        e.grid = grids + "/" + stem + "_met.r2c";
        for (const auto& prev : evs)
            if (prev.evt_file == e.evt_file || prev.grid == e.grid)
                throw PrepError(t + " starts on the same day as " + prev.table + "; one table per event and day");
        may_write(e.evt_file, oo);
        evs.push_back(e);
    }
    return evs;
}

// The names every event file gives for the basin's files, as event files write them.
struct BasinNames {
    std::string shd, par, pdl;
};

// The text of the k-th event file; the first lists the others after its count.
std::string event_text(const std::vector<Ev>& evs, std::size_t k, const BasinNames& names) {
    const Ev& e = evs[k];
    std::string f;
    auto kv = [&](const std::string& key, const std::string& v) { f += fmt_pad(key, 24) + v + "\n"; };
    f += ":FileType             ev2  ASCII  EnSim 1.0\n:FileVersionNo        9.7\n#\n";
    f += "# written by nimbex-prep for " + event_path(e.table) + "\n";
    f += "# the event starts at the beginning of the table's first step\n#\n";
    kv(":year", std::to_string(e.start.y));
    kv(":month", std::to_string(e.start.m));
    kv(":day", std::to_string(e.start.d));
    kv(":hour", std::to_string(e.start.h));
    f += "#\n";
    for (const char* sw : event_switches) kv(std::string(":") + sw, "n");
    f += "#\n";
    for (const auto& [key, v] : {std::pair{":intsoilmoisture", "0.25"}, {":rainconvfactor", "1.0"},
                                 {":eventprecipscalefactor", "1.0"}, {":precipscalefactor", "0.0"},
                                 {":eventsnowscalefactor", "1.0"}, {":snowscalefactor", "0.0"},
                                 {":eventtempscalefactor", "0.0"}, {":tempscalefactor", "0.0"},
                                 {":disaggregate", "0.0"}})
        kv(key, v);
    f += "#\n";
    kv(":hoursraindata", std::to_string(e.info.nhours));
    kv(":hoursflowdata", std::to_string(e.info.nhours));
    kv(":deltat_report", "1");
    f += "#\n";
    kv(":basinfilename", names.shd);
    kv(":parfilename", names.par);
    kv(":pointdatalocations", names.pdl);
    kv(":pointprecip", field_name(e.table, "gauge table"));
    kv(":griddedrainfile", field_name(e.grid, "output grid"));
    f += "#\n";
    kv(":noeventstofollow", std::to_string(k == 0 ? evs.size() - 1 : 0));
    f += "#\n";
    if (k == 0)
        for (std::size_t j = 1; j < evs.size(); ++j) f += evs[j].chain_name + "\n";
    return f;
}

}  // namespace

int cmd_events(const Args& a, std::ostream& out) {
    const Options o = parse_options(a, {"--gauges", "--shd", "--par", "--pdl", "--out", "--grids"}, {"--force"}, 0);
    const std::string gdir = o.need("--gauges"), shd = o.need("--shd"), par = o.need("--par"), pdl = o.need("--pdl");
    const std::string dir = o.need("--out");
    const std::string grids = o.has("--grids") ? o.get("--grids") : "radcl";
    const OutputOptions oo{o.flag("--force")};
    for (const auto& [f, what] : {std::pair{shd, "--shd"}, {par, "--par"}, {pdl, "--pdl"}})
        if (!file_exists(f)) throw PrepError(std::string(what) + " " + f + " is not there (write it first)");
    if (!is_r2c_file(shd)) throw PrepError("--shd " + shd + ": the program takes only a watershed file ending in r2c");
    if (par.size() < 4 || par.compare(par.size() - 4, 4, ".csv") != 0)
        throw PrepError("--par " + par + ": the program reads a parameter file only when its name ends in .csv");
    BasinNames names;
    names.shd = field_name(shd, "--shd");
    names.par = field_name(par, "--par");
    names.pdl = field_name(pdl, "--pdl");

    const std::vector<Ev> evs = plan_events(find_tables(gdir), dir, grids, oo);
    for (std::size_t k = 0; k < evs.size(); ++k) {
        const Ev& e = evs[k];
        write_text_file(e.evt_file, event_text(evs, k, names), oo);
        out << "wrote " << e.evt_file << ": " << e.info.nhours << " hours from " << e.start.y << "-"
            << (e.start.m < 10 ? "0" : "") << e.start.m << "-" << (e.start.d < 10 ? "0" : "") << e.start.d << " "
            << (e.start.h < 10 ? "0" : "") << e.start.h << ":00, " << event_path(e.table) << " -> " << event_path(e.grid)
            << "\n";
        if (k + 1 < evs.size() && evs[k + 1].info.start - evs[k + 1].info.deltat != e.info.start - e.info.deltat + e.info.nhours)
            out << "note: " << evs[k + 1].table << " does not start where " << e.table << " ends\n";
    }
    if (std::filesystem::path(dir).lexically_normal() != "event")
        out << "note: the program reads event/event.evt of the folder it runs in\n";
    if (!std::filesystem::is_directory(grids)) {
        std::error_code ec;
        std::filesystem::create_directories(grids, ec);
        if (ec) throw PrepError("cannot create the folder " + grids + " for the output grids: " + ec.message());
        out << "created the folder " << grids << " for the output grids\n";
    }
    return 0;
}

}  // namespace nimbex::prep
