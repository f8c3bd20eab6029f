// Reads one event's gauge table (yyyymmdd_rag.tb0) into the gauge set and
// keeps the gauge reports (nimbex_cumm, _recl, _flag, _yrly) up to date.
#include "readers/gauge_table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "driver/run_state.h"
#include "ensim/header.h"
#include "ensim/keyword_line.h"
#include "ensim/tb0_header.h"
#include "platform/bounds.h"
#include "platform/fatal.h"
#include "platform/file_units.h"
#include "platform/fortran_format.h"
#include "platform/free_format.h"
#include "platform/limits.h"
#include "platform/short_decimal.h"

namespace nimbex {

namespace {

constexpr std::size_t tb0_line_size = gauge_table_line_size;
constexpr int report_station_limit = 200;

// One data value of a table line. Handles the plain decimal and exponent
// spellings directly; anything else (a comma, a repeat count, a Fortran "d"
// exponent) is left to the full free-format reader.
bool fast_real(std::string_view w, float& v) {
    if (short_decimal(w, v)) return true;
    const char* b = w.data();
    const char* e = b + w.size();
    if (b != e && *b == '+') {
        ++b;
        if (b == e || *b == '-' || *b == '+') return false;
    }
    auto [p, ec] = std::from_chars(b, e, v);
    return ec == std::errc() && p == e && p != b;
}

// Splits a data line into blank-separated words (tabs count as blanks).
void split_words(std::string_view line, std::vector<std::pair<std::size_t, std::size_t>>& words) {
    words.clear();
    const std::size_t n = line.size();
    std::size_t i = 0;
    while (i < n) {
        while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= n) break;
        std::size_t s = i;
        while (i < n && line[i] != ' ' && line[i] != '\t') ++i;
        words.emplace_back(s, i - s);
    }
}

// A line that counts as a data line: not empty and not a comment once tabs
// are blanks and leading blanks are gone; only its first 256 characters matter.
bool is_data_line(std::string_view line) {
    line = line.substr(0, std::min<std::size_t>(line.size(), 256));
    for (char c : line) {
        if (c == ' ' || c == '\t') continue;
        return c != '#';
    }
    return false;
}

void skip_header(RunState& rs, FileUnit& f, const std::string& fname) {
    const KeyHandler none = [](std::string_view, std::string_view) { return key_not_mine; };
    read_header(rs.con, f, none, "read_rag_ef", fname, tb0_line_size);
}

void put_hour_values(std::string& out, const GaugeSet& g, int nstations, int h) {
    out.clear();
    const float* row = g.hour_values(h);
    for (int i = 0; i < nstations; ++i) put_f(out, row[i], 10, 3);
}

[[noreturn]] void bad_number(RunState& rs, int k, int h, int nstations) {
    Console& con = rs.con;
    const GaugeSet& g = rs.gauges;
    con.line("In read_rag_ef");
    con.line(" NEW format precip file");
    con.line(g.sample_time.str());
    con.line(msg() << " problems reading the precip at hour " << k);
    con.line(msg() << " and column" << nstations + 1);
    con.line(msg() << "  ng=" << nstations);
    con.line("Weird hidden characters in the file will             do this");
    con.line("last values read:");
    std::string out;
    for (int hh = std::max(h - 2, 1); hh <= h; ++hh) {
        put_hour_values(out, g, nstations, hh);
        con.line(out);
    }
    con.blank();
    fatal_stop("Program aborted in read_rag_ef @ 368");
}

// Title lines of the gauge reports, first event only.
void write_titles(RunState& rs, int nstations) {
    const GaugeSet& g = rs.gauges;
    const int nrep = std::min(nstations, report_station_limit);
    std::string line = "   ID";
    for (int i = 1; i <= nrep; ++i) put_a(line, first_chars(g.station_name[i].str(), 9), 10);
    rs.files[unit::cumm_report].put_line(line);
    rs.files[unit::cumm_report].put_line("p = partial  n = no data this event");
    rs.files[unit::cumm_report].put_line("Please see nimbex_recl.txt");
    rs.files[unit::cumm_report].put_line("for the # entrees each event");
    rs.files[unit::recl_report].put_line(line);
    // The year report shares this title, cut like the others; only its year
    // lines go on past the 200th station.
    rs.files[unit::yrly_report].put_line(line);
    line = "   ID";
    for (int i = 1; i <= nrep; ++i) put_a(line, first_chars(g.station_name[i].str(), 4), 5);
    rs.files[unit::flag_report].put_line(line);
}

void write_event_lines(RunState& rs, int nstations, int nhours) {
    GaugeSet& g = rs.gauges;
    const int evt = rs.event_number;
    const int nrep = std::min(nstations, report_station_limit);
    std::string cumm, recl, flag;
    put_i(cumm, evt, 5);
    put_i(recl, evt, 5);
    put_i(flag, evt, 5);
    for (int i = 1; i <= nrep; ++i) {
        put_f(cumm, g.event_total[i], 9, 1);
        cumm += g.record_flag[i];
        put_i(recl, g.record_count[i], 10);
        put_a(flag, std::string_view(&g.record_flag[i], 1), 5);
    }
    rs.files[unit::cumm_report].put_line(cumm);
    rs.files[unit::recl_report].put_line(recl);
    rs.files[unit::flag_report].put_line(flag);

    std::string yr;
    if (nhours >= 1000) {
        // A whole year in one event: a station short of 360 records has no total.
        put_i(yr, evt, 5);
        for (int i = 1; i <= nstations; ++i) {
            if (g.record_count[i] < 360) g.event_total[i] = -1.0f;
            put_f(yr, g.event_total[i], 10, 1);
        }
        rs.files[unit::yrly_report].put_line(yr);
    } else {
        for (int i = 1; i <= nstations; ++i) g.year_total[i] += g.event_total[i];
        if (evt % 12 == 0) {
            put_i(yr, evt / 12, 5);
            for (int i = 1; i <= nstations; ++i) put_f(yr, g.year_total[i], 10, 1);
            rs.files[unit::yrly_report].put_line(yr);
            for (int i = 1; i <= nstations; ++i) g.year_total[i] = 0.0f;
        }
    }
}

// The reading of one table: the open file, its name and a line buffer kept
// across the passes over the file, and what the header said.
struct TableRead {
    TableRead(RunState& run, FileUnit& file, std::string name)
        : rs(run), con(run.con), g(run.gauges), f(file), fname(std::move(name)) {}

    RunState& rs;
    Console& con;
    GaugeSet& g;
    FileUnit& f;
    std::string fname;
    std::string line;
    int nstations = 0;
    int nhours = 0;
    int deltat = 0;
    float unit_conversion = 0.0f;
    std::string start_time;

    void read_header_lines(Tb0ColumnMetaData& cols);
    std::optional<CellReach> announce_forecast_reach();
    void count_hours();
    void check_factor_and_step();
    void make_room();
    void check_stations(const Tb0ColumnMetaData& cols);
    void place_stations(const Tb0ColumnMetaData& cols);
    void read_data_lines();
    void convert_values();
    void record_statistics();
    void echo_data();
};

// Opens the table; a missing or unopenable file stops the run.
FileUnit& open_table(RunState& rs, int unit, const std::string& fname) {
    Console& con = rs.con;
    if (!file_exists(fname)) {
        con.line("ERROR: the data file " + fname);
        con.line("is NOT found");
        fatal_stop(" Program STOPPED in read_rag_ef @65");
    }
    if (rs.files.open(unit, fname, OpenStatus::old_file) != 0) {
        con.line("Problems opening " + fname);
        con.blank();
        fatal_stop(" Stopped in read_rag_ef @ 50");
    }
    return rs.files[unit];
}

// Header: keyword lines inside the column block describe the stations.
void TableRead::read_header_lines(Tb0ColumnMetaData& cols) {
    Tb0Header hdr;
    init_tb0_header(hdr);
    hdr.name = g.source_name.str();  // the table name is not reset: a table without ":Name" keeps the last one
    bool in_block = false;
    const KeyHandler handler = [&](std::string_view key, std::string_view value) -> KeyOutcome {
        key = trim_right(key);
        if (key == ":columnmetadata") { in_block = true; return key_stored; }
        if (key == ":endcolumnmetadata") { in_block = false; return key_stored; }
        if (in_block) return handle_column_key(cols, key, value);
        return handle_tb0_key(con, hdr, key, value);
    };
    read_header(con, f, handler, "read_rag_ef", fname, tb0_line_size);

    g.deltat = hdr.deltat;
    unit_conversion = hdr.unitconversion;
    nstations = cols.column_count;
    g.source_name = hdr.name.str();
    start_time = hdr.start_time;
}

// A forecast table asks for a reach of 10 cells with 1 cell of smoothing.
std::optional<CellReach> TableRead::announce_forecast_reach() {
    if (g.source_name.str().compare(0, 7, "CMC_glb") != 0) return std::nullopt;
    const CellReach reach{10.0f, 1.0f};
    con.blank();
    con.line("NEW <<<<<");
    con.line(msg() << "radius of influence set to " << reach.radius);
    con.line("for CMC_glb data");
    con.line("This value is kept for the rest of this run");
    con.line("as it is assumed this is a forecast");
    con.blank();
    return reach;
}

// Counts the data lines, then comes back to the first of them.
void TableRead::count_hours() {
    line.reserve(tb0_line_size);
    f.rewind();
    skip_header(rs, f, fname);
    int nlines = 0;
    while (f.get_line(line))
        if (is_data_line(line)) ++nlines;
    deltat = g.deltat;
    // Hours and values must fit the gauge arrays: checked before the product
    // is formed as an int.
    const std::int64_t hours = std::int64_t{nlines} * deltat;
    if (hours > max_values || hours < -max_values ||
        (hours + 1) * std::max(nstations, 1) > max_values) {
        con.line(msg() << "ERROR: " << nlines << " data lines with DeltaT =" << deltat << " and" << nstations
                       << " stations");
        con.line("are more values than a gauge table may hold (268435456)");
        fatal_stop("Program aborted in read_rag_ef: too many hours of data in " + fname);
    }
    nhours = static_cast<int>(hours);
    f.rewind();
    skip_header(rs, f, fname);
}

void TableRead::check_factor_and_step() {
    con.line(msg() << "# stations=" << nstations);
    con.line(msg() << "# hours of data=" << nhours);
    con.line(msg() << "DeltaT=" << deltat);
    con.line(msg() << "UnitConversion=" << unit_conversion);
    con.blank();

    if (unit_conversion == 0.0f) {
        con.line("UnitConversion = 0.0");
        con.line("No Good. Check rag.tb0 file for spelling or value");
        con.blank();
        fatal_stop("Program aborted in read_rag_ef @ 144");
    }
    if (!std::isfinite(unit_conversion)) {
        con.line(msg() << "UnitConversion =" << unit_conversion);
        con.line("is not a finite number. Check rag.tb0 file for spelling or value");
        con.blank();
        fatal_stop("Program aborted in read_rag_ef: UnitConversion not a number in " + fname);
    }
    check_magnitude(con, "read_rag_ef", ":UnitConversion", unit_conversion, max_conversion_factor, fname);
    if (deltat < 1) {
        con.line(msg() << "ERROR: DeltaT =" << deltat);
        con.line("in " + fname);
        con.line("The hours per data line must be 1 or more");
        con.line("Check :DeltaT in the rag.tb0 file for spelling or value");
        con.blank();
        fatal_stop("Program aborted in read_rag_ef: DeltaT below 1");
    }
}

void TableRead::make_room() {
    const bool first_data = g.precip_values.empty();
    try {
        grow_gauge_data(g, nstations, nhours);
    } catch (const std::exception&) {
        con.line(msg() << "No of stations found =" << nstations);
        con.line(msg() << "No of hrs data found =" << nhours);
        con.line("Error with allocation of arrays in read_rag_ef");
        fatal_stop(first_data ? "Program stopped in read_rag_ef @ 176" : "Program stopped in read_rag_ef @ 165");
    }
    const bool first_desc = g.station_name.empty();
    try {
        grow_station_descriptors(g, nstations);
    } catch (const std::exception&) {
        con.line("Error with allocation of station descripters");
        con.line(" in read_rag_ef");
        fatal_stop(first_desc ? "Program aborted in read_rag_ef @ 204" : "Program aborted in read_rag_ef @ 195");
    }
}

// A station without a position cannot be placed on the grid.
void TableRead::check_stations(const Tb0ColumnMetaData& cols) {
    const std::size_t ns = static_cast<std::size_t>(nstations);
    if (cols.column_location_x.size() < ns || cols.column_location_y.size() < ns) {
        con.line("Error:");
        con.line(msg() << "Station locations for" << static_cast<int>(cols.column_location_x.size()) << " x and"
                       << static_cast<int>(cols.column_location_y.size()) << " y");
        con.line(msg() << "but the header has" << nstations << " columns");
        con.line("Check :ColumnLocationX and :ColumnLocationY in " + fname);
        con.blank();
        fatal_stop("Program aborted in read_rag_ef: station locations missing");
    }
    for (std::size_t c = 0; c < ns; ++c) {
        const float e = c < cols.column_elevation.size() ? cols.column_elevation[c] : -999.0f;
        if (std::isfinite(cols.column_location_x[c]) && std::isfinite(cols.column_location_y[c]) && std::isfinite(e))
            continue;
        con.line("Error:");
        con.line(msg() << "Station" << static_cast<int>(c + 1) << " has a location or elevation that is not a number");
        con.line("Check :ColumnLocationX, :ColumnLocationY and :Elevation in " + fname);
        con.blank();
        fatal_stop("Program aborted in read_rag_ef: station location not a number in " + fname);
    }
    for (std::size_t c = 0; c < ns; ++c) {
        const std::string station = "station " + std::to_string(c + 1);
        check_magnitude(con, "read_rag_ef", ":ColumnLocationX of " + station, cols.column_location_x[c],
                        max_coordinate, fname);
        check_magnitude(con, "read_rag_ef", ":ColumnLocationY of " + station, cols.column_location_y[c],
                        max_coordinate, fname);
        if (c < cols.column_elevation.size())
            check_magnitude(con, "read_rag_ef", ":Elevation of " + station, cols.column_elevation[c], max_elevation,
                            fname);
    }
}

void TableRead::place_stations(const Tb0ColumnMetaData& cols) {
    for (int k = 1; k <= nstations; ++k) {
        const std::size_t c = static_cast<std::size_t>(k - 1);
        g.station_name[k] = c < cols.column_name.size() ? first_chars(cols.column_name[c].str(), 12) : std::string();
        g.station_x[k] = cols.column_location_x[c];
        g.station_y[k] = cols.column_location_y[c];
        g.station_elevation[k] = c < cols.column_elevation.size() ? cols.column_elevation[c] : -999.0f;
    }
}

// Data lines: one per step, exactly one value per station.
void TableRead::read_data_lines() {
    const int nsteps = nhours / deltat;
    std::vector<std::pair<std::size_t, std::size_t>> words;
    words.reserve(static_cast<std::size_t>(nstations) + 1);
    for (int k = 1; k <= nsteps; ++k) {
        if (!f.get_line(line)) {
            con.line("ERROR: Premature EndOfFile encountered");
            fatal_stop(" Stopped in read_rag_ef @ 266");
        }
        if (line.size() > tb0_line_size) line.resize(tb0_line_size);
        split_words(line, words);
        const int nw = static_cast<int>(words.size());
        if (nw != nstations) {
            con.line("Error:");
            con.line(msg() << "No of columns of data " << nw);
            con.line(msg() << "not equal to the no columns in the header" << nstations);
            con.line(msg() << "in data line " << k);
            fatal_stop("Program aborted in read_rag @ 276");
        }
        const int h = k * deltat;
        float* row = g.hour_values(h);
        for (int i = 0; i < nstations; ++i) {
            const auto [pos, len] = words[static_cast<std::size_t>(i)];
            if (fast_real(std::string_view(line).substr(pos, len), row[i])) continue;
            // Not a plain number: read the whole line as free format does.
            ListReader r{std::string_view(line)};
            for (int j = 0; j < nstations; ++j) {
                const ReadResult res = r.read(row[j]);
                if (read_failed(res)) bad_number(rs, k, h, nstations);
                if (res == ReadResult::slash) break;
            }
            break;
        }
    }
}

// The factor applies to every value read, missing ones included. A value
// that is not a finite number (NaN, an infinity) counts as no record; rain
// beyond any real amount once converted stops the run.
void TableRead::convert_values() {
    const int nsteps = nhours / deltat;
    for (int k = 1; k <= nsteps; ++k) {
        float* row = g.hour_values(k * deltat);
        for (int i = 0; i < nstations; ++i) {
            if (!std::isfinite(row[i])) {
                row[i] = -1.0f;
                continue;
            }
            const float raw = row[i];
            row[i] *= unit_conversion;
            if (row[i] > max_gauge_amount)
                check_magnitude(con, "read_rag_ef",
                                "rain of station " + std::to_string(i + 1) + " in data line " + std::to_string(k) +
                                    " (" + real_text(raw) + " times " + real_text(unit_conversion) + ")",
                                row[i], max_gauge_amount, fname);
            if (!std::isfinite(row[i])) row[i] = -1.0f;
        }
    }
}

// Record statistics; totals sum the hours in order for each station.
void TableRead::record_statistics() {
    const int nsteps = nhours / deltat;
    for (int i = 1; i <= nstations; ++i) {
        g.event_total[i] = 0.0f;
        g.record_count[i] = 0;
    }
    for (int k = 1; k <= nsteps; ++k) {
        const float* row = g.hour_values(k * deltat);
        for (int i = 0; i < nstations; ++i) {
            if (row[i] >= 0.0f) {
                g.event_total[i + 1] += row[i];
                ++g.record_count[i + 1];
            }
        }
    }
    for (int i = 1; i <= nstations; ++i) {
        if (g.record_count[i] * deltat == nhours) {
            g.record_flag[i] = 'a';
        } else if (g.record_count[i] == 0) {
            g.record_flag[i] = 'N';
            g.event_total[i] = -1.0f;
        } else {
            g.record_flag[i] = 'P';
        }
    }
}

void TableRead::echo_data() {
    if (rs.iopt < 1) return;
    const int nsteps = nhours / deltat;
    FileUnit& info = rs.files[unit::info_report];
    info.put_line("");
    info.put_line(" echo input data:");
    for (int k = 1; k <= nsteps; ++k) {
        put_hour_values(line, g, nstations, k * deltat);
        info.put_line(line);
    }
}

}  // namespace

GaugeTableRead read_rag_ef(RunState& rs, int unit, int entry) {
    const std::string fname(rs.file_name(entry).trimmed());
    TableRead t(rs, open_table(rs, unit, fname), fname);

    Tb0ColumnMetaData cols;
    t.read_header_lines(cols);
    const int nstations = t.nstations;
    GaugeTableRead result;
    result.forecast_reach = t.announce_forecast_reach();
    t.count_hours();
    const int nhours = t.nhours;
    t.check_factor_and_step();
    t.make_room();
    t.check_stations(cols);
    t.place_stations(cols);
    cols = Tb0ColumnMetaData();

    t.read_data_lines();
    t.convert_values();
    rs.con.line(msg() << "no stations =" << nstations);
    t.record_statistics();

    if (rs.event_number == 1) {
        write_titles(rs, nstations);
        std::fill(t.g.year_total.begin(), t.g.year_total.end(), 0.0f);
    }
    write_event_lines(rs, nstations, nhours);
    t.echo_data();

    rs.files.close(unit, true);
    t.g.nstations = nstations;
    t.g.nhours = nhours;
    result.counts = GaugeCounts{nhours, t.unit_conversion, nstations};
    result.start_time = std::move(t.start_time);
    return result;
}

}  // namespace nimbex
