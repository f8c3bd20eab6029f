#include "driver/event_processing.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>

#include "driver/distribute.h"
#include "driver/run_state.h"
#include "ensim/keyword_line.h"
#include "platform/allocation.h"
#include "platform/bounds.h"
#include "platform/file_units.h"
#include "platform/parallel.h"
#include "platform/limits.h"
#include "platform/fatal.h"
#include "platform/fortran_format.h"
#include "platform/text.h"
#include "writers/station_list.h"
#include "readers/pdl_header.h"
#include "readers/legacy_rag_file.h"
#include "readers/static_grid.h"
#include "readers/parameter_file.h"
#include "readers/gauge_table.h"
#include "readers/watershed_file.h"
#include "platform/fast_fixed.h"
#include "writers/r2c_writer.h"

namespace nimbex {

namespace {

// The three characters that follow the first "." of a file-name entry.
std::string extension(RunState& rs, int entry) {
    std::string_view name = rs.file_name(entry).trimmed();
    auto dot = name.find('.');
    if (dot == std::string_view::npos) return std::string();
    return std::string(trim_right(name.substr(dot + 1, 3)));
}

// Writes a grid of nx x ny values (row-major from row 1) to the information
// report, from the top row down or from row 1 up: one line per row, at most
// `per_line` values on a line (a longer row continues on the next line).
// Rows are formatted in parallel, a block at a time, and written in order.
void write_grid_listing(FileUnit& f, const float* grid, int nx, int ny, bool top_down, int w, int d, int per_line,
                        int threads) {
    constexpr int block = 64;
    std::vector<std::string> text(block);
    for (int b0 = 0; b0 < ny; b0 += block) {
        const int nb = std::min(block, ny - b0);
        parallel_for(static_cast<std::size_t>(nx) * static_cast<std::size_t>(nb) < 16384 ? 1 : threads,
                     static_cast<std::size_t>(nb), 1, 1, [&](std::size_t a, std::size_t e) {
                         for (std::size_t k = a; k < e; ++k) {
                             const int r = b0 + static_cast<int>(k);
                             const int i = top_down ? ny - r : r + 1;
                             const float* row = grid + static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(nx);
                             std::string& t = text[k];
                             t.clear();
                             for (int j = 0; j < nx; ++j) {
                                 if (j > 0 && j % per_line == 0) t += '\n';
                                 append_fixed(t, row[j], w, d);
                             }
                             t += '\n';
                         }
                     });
        for (int k = 0; k < nb; ++k) f.put(text[static_cast<std::size_t>(k)]);
    }
}

// ---- first event -------------------------------------------------------

// The watershed file: grid, cell numbering and per-grid data.
void read_watershed(RunState& rs) {
    Console& con = rs.con;
    if (!is_r2c_file(rs.file_name(entry::watershed).str())) {
        con.blank();
        con.line(" r2c format now required for this program");
        con.line(" please use the  \"xxxx_shd.r2c\" file");
        con.line(" created by tesk.exe");
        con.blank();
        fatal_stop("Program aborted in nimbex @ 664");
    }
    con.blank();
    con.line("Gone to read " + fit(rs.file_name(entry::watershed).str(), 40) + " with read_shed_ef");
    read_shed_ef(rs, unit::watershed, entry::watershed);
    con.line("Finished reading" + fit(rs.file_name(entry::watershed).str(), 40));
    con.blank();
}

// The parameter file, and the radius and smoothing distance brought from km
// to cells.
void read_parameters(RunState& rs) {
    Console& con = rs.con;
    rs.rlapse = 0.0f;
    rs.radiusinflce = 1.0e6f;
    rs.smoothdist = 0.0f;
    if (extension(rs, 2) == "csv") {
        con.line("reading  " + fit(rs.file_name(entry::parameters).str(), 50));
        rs.par_result = read_par_parser(rs, unit::parameters, entry::parameters,
                                        {rs.evt.sw.smrflg, rs.evt.sw.wetflg, rs.evt.sw.trcflg});
        rs.evt.sw.trcflg = rs.par_result.trcflg;  // the tracer rule may switch it off
        // These enter every weight and every value: NaN or an infinity would
        // spread into every cell of every grid.
        if (!std::isfinite(rs.rlapse) || !std::isfinite(rs.radiusinflce) || !std::isfinite(rs.smoothdist) ||
            !std::isfinite(rs.par_result.a12)) {
            con.line(msg() << "rlapse =" << rs.rlapse << " radiusinflce =" << rs.radiusinflce
                           << " smoothdist =" << rs.smoothdist << " a12 =" << rs.par_result.a12);
            con.line("Each of these must be a finite number");
            fatal_stop("Program aborted in nimbex: parameter not a number in " +
                       std::string(rs.file_name(entry::parameters).trimmed()));
        }
        const std::string par_name(rs.file_name(entry::parameters).trimmed());
        check_magnitude(con, "nimbex", ":rlapse", rs.rlapse, max_lapse_rate, par_name);
        check_magnitude(con, "nimbex", ":radiusinflce", rs.radiusinflce, max_distance_km, par_name);
        check_magnitude(con, "nimbex", ":smoothdist", rs.smoothdist, max_distance_km, par_name);
    }
    con.line(msg() << "ni=" << rs.event_count);
    con.line("Echo input parameters:");
    con.line(msg() << "precip lapse rate /m =" << rs.rlapse);
    con.line(msg() << "radinfl=" << rs.radiusinflce << " km");
    con.line(msg() << "smoothdist =" << rs.smoothdist << " km");
    con.blank();
    const float al = rs.shed.nominalgridsize_al;
    if (!(al > 0.0f)) {
        // Without a cell size the distances cannot be brought to cell units.
        con.line("The watershed file gives no positive :NominalGridSize_AL");
        con.line("so the radius of influence and the smoothing distance");
        con.line("cannot be converted to cell units");
        fatal_stop("Program aborted in nimbex: nominal grid size missing");
    }
    rs.radiusinflce = rs.radiusinflce * 1000.0f / al;
    rs.smoothdist = rs.smoothdist * 1000.0f / al;
    con.line("Converted to cell numbers used in program:");
    con.line(msg() << "radinfl=" << rs.radiusinflce << " cells");
    con.line(msg() << "smoothdist =" << rs.smoothdist << " cells");
}

// The elevation of every cell from the watershed file, listed in the
// information report.
void build_elevations(RunState& rs) {
    const int nx = rs.shed.shed_xcount, ny = rs.shed.shed_ycount;
    allocate_or_stop("**Allocation failed for elev_grid in tmp @ 163**", [&] {
        rs.elev_grid.assign(static_cast<std::size_t>(std::max(nx, 0)) * static_cast<std::size_t>(std::max(ny, 0)),
                            0.0f);
    });
    for (int i = 1; i <= ny; ++i)
        for (int j = 1; j <= nx; ++j) {
            int n = rs.shed.rank_at(i, j);
            if (n > 0 && n < static_cast<int>(rs.shed.elev.size()))
                rs.elev_grid[static_cast<std::size_t>(i - 1) * nx + (j - 1)] = rs.shed.elev[n];
        }
    write_grid_listing(rs.files[unit::info_report], rs.elev_grid.data(), nx, ny, false, 6, 0, 999,
                       rs.dist.thread_count());
}

// The precipitation grid's size from the pdl header: at least the grid in force.
void read_pdl_header(RunState& rs) {
    Console& con = rs.con;
    int nx = 0, ny = 0;
    inpgrd(rs, nx, ny, pdl_header_only);
    rs.nx_pdl = nx;
    rs.ny_pdl = ny;
    if (nx != rs.grid.xcount || ny != rs.grid.ycount) {
        con.blank();
        con.line("WARNING:");
        con.line("Grid size in the pdl file does not match the");
        con.line("grid in the shd file");
        con.line(msg() << "xcount shd =" << rs.grid.xcount << " in the pdl file =" << nx);
        con.line(msg() << "ycount shd =" << rs.grid.ycount << " in the pdl file =" << ny);
        con.line("OK if you want the precip grid larger");
        con.line("than the watershed grid");
        con.blank();
    }
    if (nx < rs.grid.xcount || ny < rs.grid.ycount) {
        // The precipitation grids hold the whole grid in force; a smaller one
        // would be overrun.
        con.line("The precipitation grid of the pdl file is smaller than");
        con.line("the grid it has to hold: please correct the pdl file");
        fatal_stop("Program aborted in nimbex: pdl grid smaller than the watershed grid");
    }
}

// Elevations from basin\elv_max.r2c, where there is one, replace the
// watershed's.
void read_elv_max(RunState& rs) {
    Console& con = rs.con;
    if (!file_exists("basin\\elv_max.r2c")) {
        // Something under that name that is not a file (a folder, a link
        // that leads nowhere) was meant to be used: it must not pass as absent.
        struct stat st {};
        if (::lstat(map_path("basin\\elv_max.r2c").c_str(), &st) == 0) {
            con.line("ERROR:");
            con.line(S_ISLNK(st.st_mode) ? "basin\\elv_max.r2c is a link that leads to no file"
                                         : "basin\\elv_max.r2c is not a file (a folder?)");
            con.line("Put the elevation grid there, or remove the name to use");
            con.line("the elevations of the watershed file");
            fatal_stop("Program aborted in nimbex: basin\\elv_max.r2c exists but cannot be read as a file");
        }
        rs.elv_max_used = false;
        return;
    }
    con.line("WARNING:");
    con.line("found the file elv_max.r2c ");
    con.line("Elev in the shd file will be replaced by those");
    con.line("in the elv_max.r2c file");
    con.blank();
    rs.file_name(entry::static_grid) = "basin\\elv_max.r2c";
    con.line("finished reading the header");
    std::vector<float> grid;
    read_gsm_ef(rs, unit::static_grid, entry::static_grid, grid, rs.evt.sw.resumflg);
    // The static grid has the size of the grid in force; the elevations that
    // of the watershed grid: copy the cells both hold (attribute 1).
    const int nx = rs.shed.shed_xcount, ny = rs.shed.shed_ycount;
    const int gx = rs.grid.xcount, gy = rs.grid.ycount;
    for (int i = 1; i <= std::min(ny, gy); ++i)
        for (int j = 1; j <= std::min(nx, gx); ++j) {
            std::size_t from = static_cast<std::size_t>(i - 1) * gx + (j - 1);
            std::size_t to = static_cast<std::size_t>(i - 1) * nx + (j - 1);
            if (from < grid.size() && to < rs.elev_grid.size()) rs.elev_grid[to] = grid[from];
        }
    for (std::size_t c = 0; c < grid.size(); ++c) {
        if (in_range(grid[c], -max_elevation, max_elevation)) continue;
        const std::size_t w = static_cast<std::size_t>(std::max(gx, 1));
        check_magnitude(con, "nimbex",
                        "elevation of row " + std::to_string(c / w + 1) + " column " + std::to_string(c % w + 1),
                        grid[c], max_elevation, "basin\\elv_max.r2c");
    }
    rs.elv_max_used = true;
}

// ---- every event -------------------------------------------------------

// The largest hourly amount a step's rain is spread at (a12): the event's
// own, else the parameter file's when disaggregation is asked for.
void set_disaggregation(RunState& rs) {
    Console& con = rs.con;
    rs.a12 = rs.evt.event.disaggregate;
    if (!std::isfinite(rs.a12)) {
        con.line(msg() << ":disaggregate =" << rs.a12 << " is not a finite number");
        fatal_stop("NIMBEX aborted: :disaggregate not a number in " + std::string(rs.file_name(entry::event_file).trimmed()));
    }
    if (rs.a12 == 0.0f && rs.evt.sw.smrflg == 'y') {
        rs.a12 = rs.par_result.a12;
        if (rs.a12 == 0.0f) {
            con.line("ERROR:");
            con.line("disaggregation flag smrflg = `y`");
            con.line("but a12 in the par file = 0.0");
            con.line("Please set the a12 value of set smrflg = `n`");
            con.blank();
            fatal_stop("NIMBEX aborted at 408");
        }
    }
}

void check_table_period(RunState& rs, int nhours, const std::string& table_start);

// A notice on every .rag file: its first data line may still be soil moisture.
void note_rag_soil_moisture(RunState& rs) {
    Console& con = rs.con;
    con.blank();
    con.line(std::string(47, '~'));
    con.line("The input file found is " + rs.file_name(entry::gauges).str());
    con.line("Check if");
    con.line("The first data line in the .rag file is the ");
    con.line("initial soil moisture at selected locations.");
    con.blank();
    con.line("This is no longer allowed as the initial soil");
    con.line("moisture is now entered with the .psm and .gsm ");
    con.line("files.");
    con.blank();
    con.line("Please note also that the initial soil moisture");
    con.line("is now required for each land cover class.");
    con.line("Please create the .psm file and run VELDA.exe");
    con.line(std::string(47, '~'));
    con.blank();
}

// The lapse-rate correction applies when some station of the table stands above 0 m.
void set_lapse_active(RunState& rs, int nstations) {
    Console& con = rs.con;
    const GaugeSet& g = rs.gauges;
    if (rs.rlapse > 0.0f) {
        bool any_above = false, any_at_or_below = false;
        for (int k = 1; k <= nstations; ++k) {
            if (g.station_elevation[k] > 0.0f) any_above = true;
            else any_at_or_below = true;
        }
        rs.lapse_active = any_above;
        if (any_at_or_below) {
            con.line("WARNING:");
            con.line("One or more station elevations <= 0.0 were found");
            con.line("while the rlapse .ne. 0.0");
            con.line("OK if no data for the station(s)");
            con.line(std::string(32, '-'));
        }
    }
    if (rs.rlapse <= 0.0f || nstations < 1) rs.lapse_active = false;
}

// Reads the event's gauge file, by its extension, into the gauge set.
GaugeCounts read_gauges(RunState& rs) {
    Console& con = rs.con;
    const std::string type = extension(rs, entry::gauges);
    con.blank();
    con.line("filetype=" + type);
    if (type == "rag") note_rag_soil_moisture(rs);
    rs.narr_input = false;
    if (type == "tb0") {
        const GaugeTableRead table = read_rag_ef(rs, unit::gauges, entry::gauges);
        // The run holds the reach in cells from here on, as the table states it.
        if (table.forecast_reach) {
            rs.radiusinflce = table.forecast_reach->radius;
            rs.smoothdist = table.forecast_reach->smoothing;
        }
        set_lapse_active(rs, table.counts.nstations);
        check_table_period(rs, table.counts.nhours, table.start_time);
        return table.counts;
    }
    if (rs.file_name(entry::gauges).str().compare(0, 18, fit("raing\\narr\\narr380", 18)) == 0) {
        // Model-grid input has no reader in this program: the event keeps
        // the gauge set it has, and is refused before anything is written.
        con.line("gone to read_narr");
        rs.narr_input = true;
        return GaugeCounts{rs.gauges.nhours, 1.0f, rs.gauges.nstations};
    }
    if (type == "rag") return rdrag(rs, fit("." + type, 10));
    con.blank();
    con.line("wrong file format found");
    con.line("file extension =" + type);
    con.blank();
    fatal_stop("Nimbex aborted @ 429");
}

// "yyyy/mm/dd hh:mm".
std::string date_text(const std::chrono::sys_seconds& t) {
    const auto days = std::chrono::floor<std::chrono::days>(t);
    const std::chrono::year_month_day ymd(days);
    const std::chrono::hh_mm_ss hms(t - days);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d/%02u/%02u %02d:%02d", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()));
    return buf;
}

// A gauge table meant for another period is used without complaint by the
// distribution, which dates the frames from the event file: say so. The
// table's first line is the end of its first step, so its ":StartTime" is the
// event's start plus one step; its lines should cover ":hoursraindata" (a
// monthly event file that keeps 744 hours is not taken up on a shorter month
// when the table ends with the month).
void check_table_period(RunState& rs, int nhours, const std::string& table_start) {
    using namespace std::chrono;
    Console& con = rs.con;
    const EventState& ev = rs.evt;
    const std::string table(rs.file_name(entry::gauges).trimmed());
    const year_month_day start_day{year{ev.year}, month{static_cast<unsigned>(std::clamp(ev.month, 0, 13))},
                                   day{static_cast<unsigned>(std::clamp(ev.day, 0, 32))}};
    if (!start_day.ok() || ev.hour < 0 || ev.hour > 24) return;  // the date itself is wrong: not this check's
    const sys_seconds start = sys_days(start_day) + hours(ev.hour);
    const int deltat = rs.gauges.deltat;

    if (!table_start.empty()) {
        const sys_seconds expected = start + hours(deltat);
        int y = 0, mo = 0, d = 0, h = 0, mi = 0;
        char s1 = 0, s2 = 0;
        const int got = std::sscanf(table_start.c_str(), "%d%c%d%c%d %d:%d", &y, &s1, &mo, &s2, &d, &h, &mi);
        const year_month_day td{year{y}, month{static_cast<unsigned>(std::clamp(mo, 0, 13))},
                                day{static_cast<unsigned>(std::clamp(d, 0, 32))}};
        const bool readable = got >= 5 && td.ok() && h >= 0 && h <= 24 && mi >= 0 && mi < 60;
        if (!readable || sys_days(td) + hours(h) + minutes(mi) != expected) {
            con.line("WARNING:");
            con.line("The gauge table " + table + " has :StartTime " + table_start);
            con.line("but the event starts at " + date_text(start) + ", so its first line (the end of");
            con.line("the first step of " + std::to_string(deltat) + " h) should be at " + date_text(expected));
            con.line("The frames are dated from the event file");
            con.blank();
        }
    }

    const float hr_read = ev.event.hoursraindata;
    if (!(hr_read >= 1.0f) || hr_read > 1.0e9f) return;  // not given
    const long long hours_event = static_cast<long long>(hr_read);
    if (nhours == hours_event) return;
    if (nhours < hours_event && hours_event <= 744) {
        const year_month_day next_month = year_month_day(start_day.year() / start_day.month() / 1) + months(1);
        if (start + hours(nhours) == sys_seconds(sys_days(next_month))) return;
    }
    con.line("WARNING:");
    con.line("The gauge table " + table + " covers " + std::to_string(nhours) + " hours");
    con.line("but the event file gives :hoursraindata " + std::to_string(hours_event));
    con.line("Every line of the table is distributed");
    con.blank();
}

// The distribution's grids made for the first event, made again when a later
// one has more stations or hours.
void size_work_arrays(RunState& rs, int nstations, int nhours) {
    Console& con = rs.con;
    if (rs.dist.run_total.empty()) {
        create_work_arrays(rs, nstations, nhours);
        con.line("allocations for");
        con.line(msg() << nstations << " stations");
        con.line(msg() << nhours << " no of hours of data");
        con.line(msg() << rs.ny_pdl << " rows");
        con.line(msg() << rs.nx_pdl << " columns");
        create_outarray(rs);
        return;
    }
    if (work_arrays_need_recreation(rs, nstations, nhours)) {
        recreate_work_arrays(rs, nstations, nhours);
        con.line("reallocations for");
        con.line(msg() << nstations << " stations");
        con.line(msg() << nhours << " no of hours of data");
    }
}

// Station positions from map units to cell units.
void stations_to_cells(RunState& rs, int nstations, bool already_in_cells) {
    // The old fixed-column .rag layout gives positions already in cell units
    // (from the integer grid origin and cell sizes).
    if (already_in_cells) return;
    GaugeSet& g = rs.gauges;
    for (int k = 1; k <= nstations; ++k) {
        g.station_x[k] = (g.station_x[k] - rs.grid.xorigin) / rs.grid.xdelta;
        g.station_y[k] = (g.station_y[k] - rs.grid.yorigin) / rs.grid.ydelta;
    }
}

// Opens the event's grid file and writes its header, with the settings as
// comment lines.
void write_event_header(RunState& rs, int nhours, float unit_conversion) {
    OutputGridHeader& h = rs.out_hdr;
    h.written_by = "nimbex.exe";
    h.name = "Precipitation";
    h.projection = rs.grid.projection.str();
    h.ellipsoid = rs.grid.ellipsoid.str();
    h.zone = rs.grid.zone;
    h.xorigin = rs.grid.xorigin;
    h.yorigin = rs.grid.yorigin;
    h.xcount = rs.grid.xcount;
    h.ycount = rs.grid.ycount;
    h.xdelta = rs.grid.xdelta;
    h.ydelta = rs.grid.ydelta;
    h.source_file = fit(rs.file_name(entry::gauges).str(), 30);
    h.unit_conversion = unit_conversion;
    h.weight_used = rs.idw_power;
    const float al = rs.shed.nominalgridsize_al;
    h.sample_date = rs.gauges.sample_date.str();
    h.sample_time = rs.gauges.sample_time.str();
    h.extra_names.clear();
    h.extra_values.clear();
    auto extra = [&h](std::string_view name, float value) {
        h.extra_names.emplace_back(name);
        h.extra_values.push_back(value);
    };
    allocate_or_stop("**Allocation failed for hdrcomments in nimbex @ 458**", [&] {
        extra("#precip lapse rate   1/m", rs.lapse_active ? rs.rlapse : 0.0f);
        extra("#radius of influence  km", rs.radiusinflce * al / 1000.0f);
        extra("#smoothing distance   km", rs.smoothdist * al / 1000.0f);
        if (rs.elv_max_used) extra("#elv_max_used", 0.0f);
    });
    h.extra_count = static_cast<int>(h.extra_names.size());
    R2cWriter(rs, unit::event_grid, entry::event_grid, nhours).open();
    h.extra_names.clear();
    h.extra_values.clear();
}

// Warns when the gauge file's conversion factor is not the first event's.
void check_conversion(RunState& rs, float unit_conversion) {
    if (unit_conversion == rs.event1_conversion) return;
    std::string l = " WARNING: event and rain file values of conv     do not match. From event";
    put_f(l, rs.event1_conversion, 6, 2);
    l += " from raing";
    put_f(l, unit_conversion, 6, 2);
    l += "     The value from the .RAG file is used";
    rs.con.line(l);
    rs.con.blank();
    rs.con.pause(" In nimbex @ line ~141. Hit enter to continue");
}

// The event's sum and largest value start at 0.0; the run's total at the
// first event only.
void reset_event_grids(RunState& rs) {
    std::fill(rs.dist.psum.begin(), rs.dist.psum.end(), 0.0f);
    std::fill(rs.dist.pmax.begin(), rs.dist.pmax.end(), 0.0f);
    if (rs.event_number == 1) std::fill(rs.dist.run_total.begin(), rs.dist.run_total.end(), 0.0f);
}

// The event's sum and largest value per cell, to the information report.
void write_event_summary(RunState& rs) {
    FileUnit& info = rs.files[unit::info_report];
    const int nx = rs.nx_pdl, ny = rs.ny_pdl;
    info.put_line(" Hour= -999                    Summary of rainfall:");
    write_grid_listing(info, rs.dist.psum.data(), nx, ny, true, 7, 0, 9999, rs.dist.thread_count());
    info.put_line(" Hour= -999                    Maximum rainfall:");
    write_grid_listing(info, rs.dist.pmax.data(), nx, ny, true, 7, 0, 9999, rs.dist.thread_count());
}

}  // namespace

void process_event(RunState& rs) {
    Console& con = rs.con;
    if (rs.event_number == 1) {
        read_watershed(rs);
        read_parameters(rs);
        build_elevations(rs);
        read_pdl_header(rs);
        read_elv_max(rs);
    }

    set_disaggregation(rs);
    const GaugeCounts counts = read_gauges(rs);
    const int nhours = counts.nhours, nstations = counts.nstations;
    const float unit_conversion = counts.unit_conversion;
    if (rs.narr_input) {
        con.line("Model-grid input (raing\\narr\\narr380) cannot be read by this program");
        fatal_stop("Program aborted in nimbex: no reader for model-grid input");
    }

    size_work_arrays(rs, nstations, nhours);
    rs.dist.smrflg = rs.evt.sw.smrflg;
    rs.dist.start_year = rs.evt.year;
    rs.dist.start_month = rs.evt.month;
    rs.dist.start_day = rs.evt.day;
    rs.dist.start_hour = rs.evt.hour;
    const bool spurious = prepare_gauge_data(rs);
    write_station_list(rs, rs.dist.station_has_data);
    stations_to_cells(rs, nstations, extension(rs, entry::gauges) == "rag" && rs.gauges.newfmtflg == 'n');
    write_event_header(rs, nhours, unit_conversion);
    reset_event_grids(rs);
    check_conversion(rs, unit_conversion);

    std::string l = " file length =";
    put_i(l, nhours, 5);
    l += "hours    # gauges =";
    put_i(l, nstations, 5);
    con.line(l);

    con.line(" ");
    rs.calendar_year = rs.evt.year;
    con.line(msg() << "days in year 1 =" << (rs.calendar_year % 4 == 0 ? 366 : 365));

    distribute(rs);
    write_event_summary(rs);

    R2cWriter(rs, unit::event_grid, entry::event_grid, nhours).finish();
    con.blank();
    con.line("Closed Unit 40  file name " + fit(rs.file_name(entry::event_grid).str(), 40));

    if (spurious) {
        con.line("WARNING:");
        con.line("Spurious precip values removed for");
        con.line("hourly precip > 100 mm");
        con.line(std::string(35, '!'));
        con.blank();
    }
}

void write_run_totals(RunState& rs) {
    if (rs.dist.run_total.empty()) return;  // no event reached the distribution
    rs.file_name(entry::run_totals) = "nimbex_sum.r2c";
    rs.out_hdr.extra_count = 0;
    rs.out_hdr.extra_names.clear();
    rs.out_hdr.extra_values.clear();
    rs.out_hdr.source_file = "multiple_events";
    // The totals are written in 10 columns without decimals. The bounds on
    // gauge values, elevations and the lapse rate keep every sum finite, but
    // a long run of extreme values could still pass what the field holds:
    // stop rather than write a field of stars.
    const std::size_t nx = static_cast<std::size_t>(std::max(rs.dist.nx, 1));
    for (std::size_t c = 0; c < rs.dist.run_total.size(); ++c) {
        const float v = rs.dist.run_total[c];
        if (v < 999999999.0f && v > -99999999.0f) continue;
        rs.con.line("ERROR: the run total of row " + std::to_string(c / nx + 1) + " column " +
                    std::to_string(c % nx + 1) + " is " + real_text(v) + " mm");
        rs.con.line("Check the gauge values, station elevations, cell elevations and the lapse rate");
        fatal_stop("Program aborted in nimbex: run total " + real_text(v) +
                   " does not fit the 10 columns of nimbex_sum.r2c");
    }
    rs.dist.outarray = rs.dist.run_total;
    R2cWriter totals(rs, unit::run_totals, entry::run_totals, 1);
    totals.open();
    totals.grid(1, R2cFormat::f10_0);
}

}  // namespace nimbex
