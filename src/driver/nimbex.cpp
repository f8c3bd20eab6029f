#include "driver/nimbex.h"

#include <array>
#include <cerrno>
#include <exception>
#include <new>
#include <ostream>
#include <string>
#include <string_view>

#include "driver/event_processing.h"
#include "driver/output_guard.h"
#include "driver/run_state.h"
#include "platform/fatal.h"
#include "platform/file_units.h"
#include "platform/fortran_format.h"
#include "platform/text.h"
#include "readers/event_file.h"

namespace nimbex {

namespace {

// Printed for --help, -h and --version; nothing is read or written then.
constexpr const char* usage_text =
    "NIMBEX 1.0: rain-gauge precipitation distributed over a watershed grid\n"
    "\n"
    "Usage: nimbex [P]\n"
    "       nimbex --help | -h | --version   (this text)\n"
    "\n"
    "Run it in the basin's working directory. P, a single digit, is the\n"
    "inverse-distance power (default 2); \"-2\" keeps power 2 and ends the run\n"
    "without a stop message.\n"
    "\n"
    "Reads:  event/event.evt and the event files it chains; the watershed\n"
    "        file (basin/bsnm_shd.r2c), the parameter file (bsnm_par.csv),\n"
    "        the point data locations header (bsnm.pdl) and the gauge data\n"
    "        (yyyymmdd_rag.tb0 or .rag) named there; basin/elv_max.r2c if present.\n"
    "Writes: yyyymmdd_met.r2c per event (one frame per hour with rain),\n"
    "        nimbex_sum.r2c (run totals), nimbex_info.txt, nimbex_cumm.txt,\n"
    "        nimbex_recl.txt, nimbex_flag.txt, nimbex_yrly.txt, precip_sta.xyz,\n"
    "        met_station_coordinates.xyz (legacy .rag input) and junk.\n"
    "\n"
    "Exit status: 0 normal ending; 1 the run was stopped (the last console\n"
    "line is the stop message, also written to standard error). Look at the\n"
    "grids with r2ctool.\n"
    "\n"
    "Environment: NIMBEX_BATCH=1 no pause waits for Enter (as with standard\n"
    "input closed); NIMBEX_THREADS=N the number of threads.\n";

// Left in the working directory: removing it would let a third run lock a
// fresh file while a second still holds the old one.
constexpr const char* lock_file_name = "nimbex.lock";

bool asks_for_help(std::string_view arg) {
    return arg == "--help" || arg == "-h" || arg == "--version";
}

}  // namespace

int run_program(int argc, char** argv, std::ostream& out, std::istream& in, std::ostream* err, bool batch) {
    // Checked before anything else: asking for help must not run the program
    // in (and write into) whatever directory it was typed in.
    if (argc > 1 && argv[1] != nullptr && asks_for_help(argv[1])) {
        out << usage_text;
        out.flush();
        return 0;
    }
    Console con(out, in, batch);
    RunState rs(con);
    auto stop_line = [&](const std::string& text) {
        con.line(text);
        if (err != nullptr) {
            *err << visible(text) << '\n';
            err->flush();
        }
        return 1;
    };
    try {
        nimbex_main(rs, argc > 1 ? argv[1] : nullptr);
        rs.files.close_all();
    } catch (const FatalStop& stop) {
        rs.files.settle_after_stop();
        return stop_line(stop.what());
    } catch (const std::bad_alloc&) {
        rs.files.settle_after_stop();
        return stop_line("Program aborted in nimbex: not enough memory for the arrays of this run");
    } catch (const std::exception& e) {
        // Never leave without a word: an unforeseen failure is reported as a stop.
        rs.files.settle_after_stop();
        return stop_line(std::string("Program aborted in nimbex: ") + e.what());
    }
    con.flush();
    return 0;
}

namespace {

// The power from a one-character argument, written to the scratch file "junk"
// and read back as an integer in a field of width 2.
int power_from_argument(RunState& rs, char c) {
    int ios = rs.files.open(unit::scratch, "junk", OpenStatus::replace);
    if (ios != 0) fatal_stop("Program aborted in nimbex: unable to open the scratch file junk");
    rs.files[unit::scratch].put_line(std::string(1, c));
    rs.files[unit::scratch].flush();  // a failed write names the file, not the argument
    rs.files[unit::scratch].rewind();
    std::string line;
    rs.files[unit::scratch].get_line(line);
    // Put in place only once it is known not to be an input of the run.
    rs.files.close_held(unit::scratch);
    std::string field = fit(line, 2);
    std::string_view digits = trim(field);
    if (digits.size() != 1 || digits[0] < '0' || digits[0] > '9') {
        rs.con.line("The only command-line argument is the inverse-distance power,");
        rs.con.line("a single digit 0 to 9 (default 2). Found: " + line);
        fatal_stop("Program aborted in nimbex: invalid command-line argument");
    }
    return digits[0] - '0';
}

void banner(Console& con) {
    const std::array<const char*, 5> inner{
        "",
        "NIMBEX",
        "rain gauge precipitation spread over the grid",
        "by inverse-distance weighting",
        "",
    };
    const std::string edge(56, '*');
    con.line(edge);
    for (const char* text : inner) {
        std::string body(54, ' ');
        std::string_view t(text);
        std::size_t left = (54 - t.size()) / 2;
        body.replace(left, t.size(), t);
        con.line("*" + body + "*");
    }
    con.line(edge);
    con.blank();
}

void closing_text(Console& con) {
    static const char* const lines[] = {
        "",
        "Please check that the program has operated properly",
        "Compare values in the yyyymmdd_met.r2c file against",
        "data in the yyyymmdd_rag.tb0 file",
        "Event totals should be equal at gauge sites if ",
        "data set for station is complete",
        "AND damping (smoothdist) is set to 0 !!!!!!!!!!!!",
        "",
        "See nimbex_recl.txt for record length in each event",
        "See nimbex_flag.txt for data summary",
        "   p = partial record this gauge",
        "   n = no data",
        "   y = full record",
        "",
        "Note change:",
        "In the nimbex.par file, both radius of influence",
        "& smoothing distance are now in km!!! Please check your file",
        "",
    };
    for (const char* l : lines) con.line(l);
}

}  // namespace

namespace {

// One run at a time in a working directory: two would mix their outputs.
// A directory where the lock file cannot be made cannot take the reports
// either, and the run stops there.
void lock_working_directory(RunState& rs) {
    Console& con = rs.con;
    if (rs.lock.acquire(lock_file_name) == EWOULDBLOCK) {
        con.line("Another run of nimbex is working in this directory: it holds");
        con.line(std::string("the lock on the file ") + lock_file_name + ". Two runs in one working");
        con.line("directory would mix their outputs; wait until it has ended.");
        fatal_stop(std::string("Program aborted in nimbex: working directory in use (") + lock_file_name +
                   " is locked by another run)");
    }
}

// The argument as a 2-character text and its reported length, then the
// inverse-distance power it gives.
void take_argument(RunState& rs, const char* arg) {
    Console& con = rs.con;
    std::string given = arg ? std::string(arg) : std::string();
    rs.argument = given;
    std::string two = fit(given, 2);
    std::string kept = given.size() == 1 ? two : std::string(2, ' ');
    con.line(msg() << static_cast<int>(given.size()));
    con.line(two);
    con.line(kept);

    rs.idw_power = trim(kept).empty() ? 2 : power_from_argument(rs, kept[0]);
}

// The five reports stay open to the end of the run.
void open_reports(RunState& rs) {
    const std::array<std::pair<int, const char*>, 5> reports{{{unit::cumm_report, "nimbex_cumm.txt"},
                                                              {unit::info_report, "nimbex_info.txt"},
                                                              {unit::recl_report, "nimbex_recl.txt"},
                                                              {unit::flag_report, "nimbex_flag.txt"},
                                                              {unit::yrly_report, "nimbex_yrly.txt"}}};
    for (auto [unit, name] : reports) {
        if (rs.files.open(unit, name, OpenStatus::replace) != 0) {
            rs.con.line(std::string("Problem opening ") + name + " in working directory");
            rs.con.blank();
            fatal_stop("Program aborted in nimbex @ 110");
        }
        rs.files[unit].keep_on_stop(true);  // they explain a stop
    }
    // The information report takes grid listings of tens of megabytes on a
    // large basin: written by a second thread while the run goes on.
    rs.files[unit::info_report].write_behind();
}

// The obsolete settings file is refused: its values now come from the
// parameter file.
void refuse_old_settings_file(RunState& rs) {
    Console& con = rs.con;
    if (file_exists("basin\\nimbex.par")) {
        con.line("found the file `basin\\nimbex.par`");
        con.line("use of this file has been replaced by reading the");
        con.line("radius of influence and the smoothing distance");
        con.line("from the bsnm_par.csv file");
        con.line("Please delete the `basin\\nimbex.par` file");
        con.line("and ensure the proper values are in the file:");
        con.line(fit(rs.file_name(entry::parameters).str(), 60));
        con.line("Sorry for any inconvenience");
        con.blank();
        fatal_stop("nimbex aborted @159");
    }
}

// End of the run. Every output is complete and in place before the closing
// text: a failed write must not follow " normal ending".
void finish_run(RunState& rs) {
    Console& con = rs.con;
    write_run_totals(rs);
    rs.files.close_all();
    closing_text(con);
    // The argument is kept as two characters, so "-2" followed by more still counts.
    if (fit(rs.argument, 2) == "-2") {
        con.line(" normal ending");
        con.blank();
    } else {
        con.line(" normal ending");
    }
}

}  // namespace

void nimbex_main(RunState& rs, const char* arg) {
    Console& con = rs.con;

    lock_working_directory(rs);
    take_argument(rs, arg);
    con.line(" RAIN GAUGE RAINFALL DISTRIBUTION APPLICATION");
    open_reports(rs);

    // The file-name list exists with the run state; read the first event file.
    rs.file_name(entry::event_file) = "event/event.evt";
    rs.event_number = 1;
    rs.event_count = 1;
    rs.iopt = 1;
    rs.event1_conversion = read_evt(rs).rain_conversion;
    check_event_date(rs);

    refuse_old_settings_file(rs);

    // No output may replace an input of the run, in any event of the chain.
    check_outputs_against_inputs(rs);
    rs.files.commit_held();

    banner(con);

    // The event loop.
    for (rs.event_number = 1; rs.event_number <= rs.event_count; ++rs.event_number) {
        con.blank();
        con.line("******NIMBEX******");
        con.line(msg() << "event #" << rs.event_number << " of" << rs.event_count);
        if (rs.event_number > 1) {
            rs.file_name(entry::event_file) = rs.evt.event_fln.at(static_cast<std::size_t>(rs.event_number)).str();
            read_evt(rs);  // a later event's own factor goes unused: its gauge file's counts
            check_event_date(rs);
        }
        con.line("Using input file   " + fit(rs.file_name(entry::gauges).str(), 40));
        con.line("Creating           " + fit(rs.file_name(entry::event_grid).str(), 40));
        rs.frame_count = 0;
        process_event(rs);
    }

    finish_run(rs);
}

}  // namespace nimbex
