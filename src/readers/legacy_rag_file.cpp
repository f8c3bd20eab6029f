// Reads the legacy gauge files (.rag, labelled and old fixed-column layouts)
// into the gauge set, and writes their station list.
#include "readers/legacy_rag_file.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/run_state.h"
#include "platform/allocation.h"
#include "platform/fatal.h"
#include "platform/file_units.h"
#include "writers/station_list.h"
#include "platform/fortran_format.h"
#include "platform/free_format.h"
#include "platform/bounds.h"
#include "platform/limits.h"

namespace nimbex {

namespace {

constexpr int rag_unit = unit::gauges;
constexpr int rag_entry = entry::gauges;
constexpr int values_per_record = 1200;  // old layout: values of an hour per line
constexpr int unread_station_count = 2;  // labelled layout: stations when the count line cannot be read

// Columns `from`..`to` (1-based, inclusive) of a fixed-column line; a short
// line reads as if padded with blanks.
std::string_view columns(std::string_view line, int from, int to) {
    const std::size_t b = static_cast<std::size_t>(from - 1);
    if (b >= line.size()) return {};
    return line.substr(b, std::min(line.size(), static_cast<std::size_t>(to)) - b);
}

// A fixed-column numeric field: blanks are ignored and an all-blank field is 0.
std::string squeeze(std::string_view field) {
    std::string s;
    for (char c : field)
        if (c != ' ' && c != '\t') s += c;
    return s;
}

bool fixed_int(std::string_view field, int& v) {
    const std::string s = squeeze(field);
    if (s.empty()) { v = 0; return true; }
    return parse_int(s, v);
}

bool fixed_real(std::string_view field, float& v) {
    const std::string s = squeeze(field);
    if (s.empty()) { v = 0.0f; return true; }
    return parse_real(s, v);
}

struct Reader {
    RunState& rs;
    FileUnit& f;
    std::string fname;
    GaugeSet& g;
    int nhours = 0;
    float unit_conversion = 1.0f;
    int nstations = 0;
    std::string line, text;

    FileUnit& info() { return rs.files[unit::info_report]; }
    ListReader::NextRecord next() {
        return [this](std::string& s) { return f.get_line(s); };
    }

    void write_coordinates(int n, bool integer_coordinates) {
        FileUnit& out = open_station_list(rs, "met_station_coordinates.xyz");
        for (int k = 1; k <= n; ++k) {
            ListLine l;
            if (integer_coordinates)
                l << static_cast<float>(g.station_east[k]) << static_cast<float>(g.station_north[k]);
            else
                l << g.station_x[k] << g.station_y[k];
            l << g.station_name[k].str();
            out.put_line(l);
        }
        rs.files.close(unit::scratch, true);
    }

    void allocate(const char* station_stop, const char* data_stop) {
        allocate_or_stop(station_stop, [&] { grow_station_descriptors(g, nstations); });
        allocate_or_stop(data_stop, [&] { grow_gauge_data(g, nstations, nhours); });
    }

    // Stations times hours must fit the gauge arrays.
    void check_size() {
        if (nstations <= max_stations && (std::int64_t{nhours} + 1) * std::max(nstations, 1) <= max_values) return;
        rs.con.line(msg() << "no of gauges =" << nstations << " and hours =" << nhours << " in " << fname);
        rs.con.line("are more than a gauge file may hold (100000 stations, 268435456 values)");
        fatal_stop("program aborted in rdrag: too many values in " + fname);
    }

    [[noreturn]] void unreadable_line(int number) {
        rs.con.line(" Problems reading line " + std::to_string(number) + " in " + fname);
        rs.con.blank();
        fatal_stop("program aborted in rdrag @ line " + std::to_string(number));
    }

    void labelled();
    void labelled_header_line(int number);
    void check_labelled_counts();
    bool empty_list_line(std::string_view message, const char* stop);
    void read_station_names();
    void read_coordinates(std::vector<float>& dest, const char* what, const char* stop);
    void old_layout();
    void read_old_station_lines(bool echo_console);
    void read_old_lat_long_lines();
    void echo_stations();
    void read_soil_moisture();
    [[noreturn]] void end_of_file();
    void read_data();
    void convert_values();
};

// One of lines 2 to 14: a label, then (on most lines) a value. Lines 2 to 5
// must be readable; later ones keep the field as it was when theirs is not.
void Reader::labelled_header_line(int number) {
    if (!f.get_line(line)) unreadable_line(number);
    ListReader r{std::string_view(line)};
    std::string label;
    const bool have_label = r.read(label, 20) == ReadResult::value;
    if (!have_label && number <= 5) unreadable_line(number);
    ListLine echo(false);
    echo << fit(label, 20);
    ReadResult res = ReadResult::value;
    switch (number) {
        case 2: case 3: case 4: case 7: case 8:
            text.clear();
            res = r.read(text, 10);
            if (res != ReadResult::value) {
                if (number <= 5) unreadable_line(number);
                break;
            }
            // The projection and ellipsoid go into every grid written.
            if ((number == 3 || number == 4) && (trim(text).empty() || has_control(text)))
                unreadable_line(number);
            if (number == 2) g.file_type = text;
            if (number == 3) rs.grid.projection = text;
            if (number == 4) rs.grid.ellipsoid = text;
            if (number == 7) g.sample_date = text;
            if (number == 8) g.sample_time = text;
            echo << text;
            break;
        case 5: {
            int zone = rs.grid.zone;
            if (r.read(zone) != ReadResult::value) unreadable_line(number);
            rs.grid.zone = zone;
            echo << zone;
            break;
        }
        case 10: case 11: case 12: {
            int& field = number == 10 ? nstations : number == 11 ? nhours : g.deltat;
            int v = field;
            if (r.read(v) == ReadResult::value) field = v;
            echo << field;
            break;
        }
        case 13: {
            float v = unit_conversion;
            if (r.read(v) == ReadResult::value) unit_conversion = v;
            check_magnitude(rs.con, "rdrag", "conversion factor (line 13)", unit_conversion, max_conversion_factor,
                            fname);
            echo << unit_conversion;
            break;
        }
        default:
            break;
    }
    info().put_line(echo);
}

void Reader::check_labelled_counts() {
    Console& con = rs.con;
    con.line(msg() << "no of gauges for allocation =" << nstations);
    if (g.deltat < 1) {
        con.line("deltat not specified - must be > 1");
        fatal_stop("Program aborted in rdrag @ 165");
    }
    if (nstations < 0 || nhours < 0) {
        con.line(msg() << "no of gauges =" << nstations << " and hours =" << nhours << " in " << fname);
        con.line("neither may be negative");
        fatal_stop("Program aborted in rdrag: negative count");
    }
    check_size();
}

// Each list starts on a new line, an empty list too: true when the list is
// empty and its line has been passed over.
bool Reader::empty_list_line(std::string_view message, const char* stop) {
    if (nstations > 0) return false;
    if (f.get_line(line)) {
        info().put_line("");
        return true;
    }
    rs.con.line(message);
    fatal_stop(stop);
}

void Reader::read_station_names() {
    if (empty_list_line(msg() << " error reading precip station name n=" << 1, " program aborted in nimbex @ 166"))
        return;
    ListReader r(next());
    for (int k = 1; k <= nstations; ++k) {
        text.clear();
        if (read_failed(r.read(text, 0))) {
            rs.con.line(msg() << " error reading precip station name n=" << nstations + 1);
            fatal_stop(" program aborted in nimbex @ 166");
        }
        g.station_name[k] = text;
    }
    ListLine echo(false);
    for (int k = 1; k <= nstations; ++k) echo << g.station_name[k].str();
    info().put_line(echo);
}

void Reader::read_coordinates(std::vector<float>& dest, const char* what, const char* stop) {
    if (empty_list_line(msg() << what << 1, stop)) return;
    Console& con = rs.con;
    ListReader r(next());
    bool failed = false;
    for (int k = 1; k <= nstations && !failed; ++k) failed = read_failed(r.read(dest[k]));
    for (int k = 1; k <= nstations && !failed; ++k) {
        if (std::isfinite(dest[k])) continue;
        con.line(msg() << " coordinate of station" << k << " is not a finite number in " << fname);
        fatal_stop(std::string(stop) + ": coordinate not a number in " + fname);
    }
    for (int k = 1; k <= nstations && !failed; ++k)
        check_magnitude(con, "rdrag", "coordinate of station " + std::to_string(k), dest[k], max_coordinate, fname);
    ListLine values(false);
    for (int k = 1; k <= nstations; ++k) values << dest[k];
    info().put_line(values);
    if (failed) {
        ListLine m = msg();
        m << what << nstations + 1;
        for (int k = 1; k <= nstations; ++k) m << dest[k];
        con.line(m);
        fatal_stop(stop);
    }
}

void Reader::labelled() {
    Console& con = rs.con;
    con.line(" .rag format rain gauge file found");
    g.newfmtflg = 'y';
    if (rs.iopt == 2) con.line(" In rdrag @ checkpoint a1");

    for (int number = 2; number <= 14; ++number) labelled_header_line(number);
    check_labelled_counts();
    con.line(msg() << "iall =" << g.station_allocations);
    allocate("***Allocation of AREA16A arrays failed in rdrag @ 179***",
             "***Allocation of AREA16A arrays failed in rdrag @190***");
    // Legacy files carry no elevations: such stations stand at sea level, which
    // leaves their values unchanged by a lapse-rate correction.
    for (int k = 1; k <= nstations; ++k) g.station_elevation[k] = 0.0f;

    read_station_names();
    read_coordinates(g.station_x, " error reading x coordinate n=", " program aborted in nimbex @ 178");
    read_coordinates(g.station_y, " error reading y coordinate n=", " program aborted in nimbex @ 172");
    for (int i = 0; i < 2; ++i)
        if (f.get_line(line)) info().put_line(line);
    con.line("finished reading header in .rag file");
    info().put_line("");
    write_coordinates(nstations, false);
}

// Station lines of two integers (north, east) and a name.
void Reader::read_old_station_lines(bool echo_console) {
    for (int k = 1; k <= nstations; ++k) {
        if (!f.get_line(line) || !fixed_int(columns(line, 1, 5), g.station_north[k]) ||
            !fixed_int(columns(line, 6, 10), g.station_east[k]))
            unreadable_line(2 + k);
        g.station_name[k] = columns(line, 12, 23);
        std::string echo = "     ";
        put_i(echo, g.station_north[k], 5);
        put_i(echo, g.station_east[k], 5);
        echo += ' ';
        echo += g.station_name[k].str();
        info().put_line(echo);
        if (echo_console) rs.con.line(echo);
    }
}

// In a latitude-longitude watershed: degrees and minutes of both, or failing
// that the two-integer lines read again as such.
void Reader::read_old_lat_long_lines() {
    rs.con.line(" looking for lat-long coordinates");
    bool ok = true;
    for (int k = 1; k <= nstations && ok; ++k) {
        int v[4] = {0, 0, 0, 0};
        ok = f.get_line(line);
        for (int j = 0; j < 4 && ok; ++j) ok = fixed_int(columns(line, 1 + 5 * j, 5 + 5 * j), v[j]);
        if (!ok) break;
        g.station_name[k] = columns(line, 22, 33);
        g.station_north[k] = v[0] * 60 + v[1];
        g.station_east[k] = v[2] * 60 + v[3];
        std::string echo = "     ";
        for (int j = 0; j < 4; ++j) put_i(echo, v[j], 5);
        echo += ' ';
        echo += g.station_name[k].str();
        info().put_line(echo);
    }
    if (!ok) {
        f.rewind();
        f.get_line(line);
        f.get_line(line);
        read_old_station_lines(true);
    }
}

void Reader::old_layout() {
    Console& con = rs.con;
    info().put_line(" old format file found");
    g.file_type = ".rag";
    g.newfmtflg = 'n';

    if (!f.get_line(line) || !fixed_int(columns(line, 1, 5), nstations) || !fixed_int(columns(line, 6, 10), nhours) ||
        !fixed_real(columns(line, 11, 15), unit_conversion) || nstations < 0 || nhours < 0)
        unreadable_line(2);
    check_magnitude(rs.con, "rdrag", "conversion factor (line 2)", unit_conversion, max_conversion_factor, fname);
    {
        std::string echo;
        put_i(echo, nstations, 5);
        put_i(echo, nhours, 5);
        put_f(echo, unit_conversion, 5, 2);
        info().put_line(echo);
    }
    check_size();
    allocate("***Allocation of AREA16A arrays failed in rdrag @296***",
             "***Allocation of AREA16A arrays failed in rdrag @302***");
    for (int k = 1; k <= nstations; ++k) g.station_elevation[k] = 0.0f;

    if (rs.grid.latlong) {
        read_old_lat_long_lines();
    } else {
        con.line(" looking for utm coordinates");
        read_old_station_lines(false);
    }
    // The coordinates as the file gives them, in the watershed's integer unit.
    write_coordinates(nstations, true);

    const float dx = rs.shed.x_cell, dy = rs.shed.y_cell;
    if (!(dx > 0.0f) || !(dy > 0.0f)) {
        con.line(msg() << "Cell sizes of the grid:" << dx << dy);
        con.line("station positions need cell sizes above 0");
        fatal_stop("program aborted in rdrag: no cell size");
    }
    const float x0 = static_cast<float>(rs.shed.x0()), y0 = static_cast<float>(rs.shed.y0());
    for (int k = 1; k <= nstations; ++k) {
        g.station_x[k] = (static_cast<float>(g.station_east[k]) - x0 + dx / 2.0f) / dx;
        g.station_y[k] = (static_cast<float>(g.station_north[k]) - y0 + dy / 2.0f) / dy;
    }
    g.deltat = 1;
    g.sample_date = "unknown";
    g.sample_time = "unknown";
}

// Echo of the stations, both layouts.
void Reader::echo_stations() {
    FileUnit& out_file = info();
    std::string out;
    out_file.put_line("***" + g.file_type.str() + "***");
    out_file.put_line(std::string("newfmtflg=") + g.newfmtflg);
    out_file.put_line("");
    out = "  gname   ";
    for (int k = 1; k <= nstations; ++k) put_a(out, first_chars(g.station_name[k].str(), 10), 10);
    out_file.put_line(out);
    out = "  ysta    ";
    for (int k = 1; k <= nstations; ++k) put_f(out, g.station_y[k], 10, 2);
    out_file.put_line(out);
    out = "  xsta    ";
    for (int k = 1; k <= nstations; ++k) put_f(out, g.station_x[k], 10, 2);
    out_file.put_line(out);
    out_file.put_line("");
}

// The old layout's soil moisture line, there even without stations.
void Reader::read_soil_moisture() {
    ListReader r(next());
    bool failed = false;
    if (nstations == 0) failed = !f.get_line(line);
    for (int k = 1; k <= nstations && !failed; ++k) failed = read_failed(r.read(g.init_soil_moisture[k]));
    if (failed) {
        rs.con.line(" Problems reading soil moisture line in");
        rs.con.line(fname);
        rs.con.blank();
        fatal_stop(" program aborted in rdrag @zxc");
    }
    ListLine l(false);
    l << "Initial soil moisture at precip station:";
    for (int k = 1; k <= nstations; ++k) l << g.init_soil_moisture[k];
    info().put_line(l);
    info().put_line("");
    info().put_line("Echo precip data:");
}

void Reader::end_of_file() {
    rs.con.line(" end of file reached in raing/yymmdd.rag");
    rs.con.line(" probable cause: missing init soil moisture");
    rs.con.line(" for first data line");
    rs.con.blank();
    fatal_stop(" program aborted in rdrag @zxc");
}

// Data: one step per read, starting on a new line.
void Reader::read_data() {
    const int deltat = g.deltat;
    rs.con.line(msg() << nhours << deltat);
    const int nsteps = nhours / deltat;
    std::string out;
    for (int k = 1; k <= nsteps; ++k) {
        const int h = k * deltat;
        float* row = g.hour_values(h);
        if (g.newfmtflg == 'y') {
            if (nstations == 0) {
                if (!f.get_line(line)) end_of_file();
            } else {
                ListReader r(next());
                for (int i = 0; i < nstations; ++i) {
                    const ReadResult res = r.read(row[i]);
                    if (res == ReadResult::eof) end_of_file();
                    if (res == ReadResult::bad || res == ReadResult::slash) break;  // keeps what was read
                }
            }
        } else {
            // 8 columns per value, 1200 values per line; a bad field ends the
            // step's values but its remaining lines are still passed over.
            bool bad = false;
            for (int i = 0; i < std::max(nstations, 1); ++i) {
                const int c = i % values_per_record;
                if (c == 0 && !f.get_line(line)) end_of_file();
                if (i >= nstations || bad) continue;
                float v = 0.0f;
                if (fixed_real(columns(line, 8 * c + 1, 8 * c + 8), v))
                    row[i] = v;
                else
                    bad = true;
            }
        }
        out.clear();
        put_i(out, h, 10);
        // A value that is not a finite number is echoed as the no-record mark.
        for (int i = 0; i < nstations; ++i) put_f(out, std::isfinite(row[i]) ? row[i] : -1.0f, 10, 3);
        info().put_line(out);
    }
}

// A value that is not a finite number (or that the factor takes beyond the
// real range) counts as no record.
void Reader::convert_values() {
    for (int h = 1; h <= nhours; ++h) {
        float* row = g.hour_values(h);
        for (int i = 0; i < nstations; ++i) {
            if (!std::isfinite(row[i])) {
                row[i] = -1.0f;
                continue;
            }
            const float raw = row[i];
            row[i] *= unit_conversion;
            if (row[i] > max_gauge_amount)
                check_magnitude(rs.con, "rdrag",
                                "rain of station " + std::to_string(i + 1) + " at hour " + std::to_string(h) + " (" +
                                    real_text(raw) + " times " + real_text(unit_conversion) + ")",
                                row[i], max_gauge_amount, fname);
            if (!std::isfinite(row[i])) row[i] = -1.0f;
        }
    }
}

// Opens the file; a missing or unopenable file stops the run.
FileUnit& open_rag_file(RunState& rs, const std::string& fname) {
    Console& con = rs.con;
    if (!file_exists(fname)) {
        con.blank();
        con.line("Fatal error");
        con.line("file " + fname + " not found");
        con.line("file name should be something like: raing\\yyyymmdd.rag");
        con.blank();
        con.line("This program requires a rain gauge data file (.rag)");
        con.line("If you do not have gauge data, please create a dummy");
        con.line("with all -1 for data for at least one station");
        con.line("and make reference to it in the event.evt file");
        con.blank();
        fatal_stop("program aborted in rdrag @ 57");
    }
    if (rs.files.open(rag_unit, fname, OpenStatus::old_file) != 0) {
        con.line("error opening " + fname);
        con.line("posible cause: file opened by another program");
        con.blank();
        fatal_stop("program aborted in rdrag @ 50");
    }
    return rs.files[rag_unit];
}

// Weather-model files have no reader here: true (after a notice) when the
// first line names one, so nothing is read.
bool is_model_file(RunState& rs, const std::string& first, float& unit_conversion) {
    Console& con = rs.con;
    auto model = [&](const char* id) { return same_text(first, id); };
    if (model("MOLOCH")) {
        con.line(" Going to special case inprag_mo");
        con.line(" Back from inprag_mo  .... ");
    } else if (model("MESO-NH")) {
        con.line(" Back from inprag_nh  .... ");
    } else if (model("MC2") || model("MM5RE") || model("MM5E1") || model("BOLAM3") || model("GAUGE")) {
        con.line(" Back from inprag_mc  .... ");
    } else if (model(" -103.81  50.04 remo.422.")) {
        con.line(" Back from inp_data_remo  .... ");
        rs.gauges.deltat = 6;
        unit_conversion = 1.0f;
    } else {
        return false;
    }
    return true;
}

}  // namespace

GaugeCounts rdrag(RunState& rs, std::string_view file_type) {
    Console& con = rs.con;
    GaugeSet& g = rs.gauges;
    const std::string fname(rs.file_name(rag_entry).trimmed());
    g.file_type = file_type;

    FileUnit& f = open_rag_file(rs, fname);
    FileUnit& info = rs.files[unit::info_report];
    info.put_line("Opened  " + fname + "  in rdrag");
    info.put_line("");

    std::string line;
    f.get_line(line);  // an empty file reads as a blank first line
    const std::string first = fit(line, 25);
    info.put_line(first + "     ignored - in rdrag");

    float unit_conversion = 1.0f;
    if (is_model_file(rs, first, unit_conversion)) {
        // No stations and no hours, so the event distributes nothing.
        g.nstations = 0;
        g.nhours = 0;
        return GaugeCounts{0, unit_conversion, 0};
    }

    g.deltat = -1;
    Reader rd{rs, f, fname, g, g.nhours, unit_conversion, unread_station_count, {}, {}};
    if (trim_right(first) == "#")
        rd.labelled();
    else
        rd.old_layout();
    const int nhours = rd.nhours;
    unit_conversion = rd.unit_conversion;
    const int nstations = rd.nstations;

    if (!std::isfinite(unit_conversion)) {
        con.line(msg() << "conversion factor =" << unit_conversion << " is not a finite number in " << fname);
        fatal_stop("program aborted in rdrag: conversion factor not a number in " + fname);
    }

    rd.echo_stations();
    if (g.newfmtflg == 'n') rd.read_soil_moisture();
    rd.read_data();

    info.put_line(msg() << "hours of data entered = " << nhours);
    con.line(msg() << "hours of data entered = " << nhours);

    rd.convert_values();
    unit_conversion = 1.0f;

    rs.files.close(rag_unit, true);
    info.put_line("Closed unit 35. Filename =  " + fname);
    info.put_line("");
    con.line("Closed unit 35. Filename =  " + fname);

    g.nstations = nstations;
    g.nhours = nhours;
    return GaugeCounts{nhours, unit_conversion, nstations};
}

}  // namespace nimbex
