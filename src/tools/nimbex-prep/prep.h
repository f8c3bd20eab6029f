#pragma once
// nimbex-prep: builds a working directory for the program from a user's own
// data (DEM, mask, gauge CSV files) and checks a working directory with the
// program's own readers.
#include <iosfwd>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver/run_state.h"
#include "platform/console.h"

namespace nimbex::prep {

// A problem with the user's input or files: the command stops, exit status 1.
struct PrepError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// A wrong command line: exit status 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// ---- Input rasters (DEM, mask, class fractions) ---------------------------

// A north-up raster. Values are kept row-major from the southern row (row 1 of
// the program's grids); cells without a value are NaN.
struct Raster {
    std::string path;
    int ncols = 0, nrows = 0;
    double xll = 0.0, yll = 0.0;  // south-west corner of the grid
    double dx = 0.0, dy = 0.0;
    std::vector<double> values;
    double at(int row, int col) const {  // row from the south, col from the west, both from 1
        return values[static_cast<std::size_t>(row - 1) * static_cast<std::size_t>(ncols) +
                      static_cast<std::size_t>(col - 1)];
    }
};

// Reads an ESRI ASCII grid, or anything GDAL reads when built with GDAL.
Raster read_raster(const std::string& path);
// Frees what the grid library keeps for the process (at its end).
void release_raster_library();
// What this build reads, for --help and messages.
std::string raster_formats();
// Throws PrepError unless `b` has the geometry of `a` (counts, origin, cells).
void require_same_geometry(const Raster& a, const Raster& b);

// ---- The program's readers, run with the console captured ----------------

// A run state whose console goes to a string and whose reports go nowhere:
// the readers can run on a working directory without writing into it.
class ReaderSession {
public:
    ReaderSession();
    RunState& rs() { return *rs_; }
    // The console text since the last call.
    std::string take_console();
    // The first lines of the console text, which explain a stop.
    static std::string head(const std::string& console, int lines);
private:
    std::ostringstream out_;
    std::istringstream in_;
    Console con_;
    std::unique_ptr<RunState> rs_;
};

// Reads a watershed file with the program's reader; throws PrepError with
// the reader's own stop message and explanation when it stops.
void read_watershed(ReaderSession& s, const std::string& path);
// The header of a watershed file as the program's header parser reads it
// (attribute names, counts) and the lower-cased keys it found.
struct ShedHeaderInfo {
    std::vector<std::string> attribute_names;
    std::vector<std::string> keys;  // lower-cased, in file order
    int classcount = 0;
    bool has_key(const std::string& k) const;
};
ShedHeaderInfo read_shed_header(Console& con, const std::string& path);

// ---- Output files ---------------------------------------------------------

struct OutputOptions {
    bool force = false;
};
// Throws PrepError when `path` exists and --force was not given, or names a directory.
void may_write(const std::string& path, const OutputOptions& o);
// Creates the folders of `path` that are missing.
void make_parent_dirs(const std::string& path);
// Writes `text` to `path` (after may_write), creating missing folders.
void write_text_file(const std::string& path, const std::string& text, const OutputOptions& o);

// A path as the event file writes it: "\" between folders ("/" would end the
// value in a free-format read).
std::string event_path(const std::string& path);
// `s` with every letter in lower case.
std::string lower(std::string s);
// Shortest text that reads back as the same single-precision value.
std::string real_text(double v);
// A whole word read as a finite number ("+" allowed in front); false otherwise.
bool finite_number(const std::string& word, double& v);

// ---- Hours -----------------------------------------------------------------

// Days from 1970-01-01 in the proleptic Gregorian calendar.
long days_from_civil(int y, int m, int d);
struct Civil {
    int y, m, d, h;
};
// The calendar hour that begins `hours` hours after 1970-01-01 00:00.
Civil civil_from_hours(long hours);
// "YYYY-MM-DD HH:MM" (also with "T" or "/", and ":00" seconds) to hours from
// 1970-01-01 00:00; false if it is not such a time on the hour.
bool parse_time(const std::string& s, long& hours);
// "YYYY-MM-DD HH:MM", or the tb0 form "YYYY/MM/DD HH:00:00.000".
std::string stamp(long hours, bool tb0);

// ---- Event files ------------------------------------------------------------

// The switches of an event file (without their ':'), in the order
// nimbex-prep writes them; check wants every one in every chained file.
inline constexpr const char* event_switches[] = {
    "snwflg",  "sedflg",  "vapflg",   "smrflg",   "resinflg", "tbcflg", "resumflg", "contflg",
    "routeflg", "crseflg", "ensimflg", "kenueflg", "picflg",   "wetflg", "modelflg", "shdflg",
    "trcflg",  "hdrflg",  "frcflg",   "initflg",  "grdflg",   "ntrlflg", "nudgeflg", "resetflg",
    "divertflg", "pafflg", "fliflg",  "lakeflg",  "iceflg"};

// ---- Gauge tables -----------------------------------------------------------

// What the program's table reader and header parser give of a tb0 file.
struct TableInfo {
    bool has_start = false;
    long start = 0;          // :StartTime, hours from 1970 (end of the first step)
    int deltat = 0;
    int nhours = 0;          // data lines x DeltaT, as the program counts them
    float unit_conversion = 0.0f;
    std::vector<std::string> column_names;  // as written (the program keeps 12 characters)
};
// Throws PrepError with the reader's stop message when the program's reader stops.
TableInfo read_table_info(ReaderSession& s, const std::string& path);

// ---- Commands (each returns the exit status) -------------------------------

using Args = std::vector<std::string>;
int cmd_watershed(const Args& a, std::ostream& out);
int cmd_elevation(const Args& a, std::ostream& out);
int cmd_template(const Args& a, std::ostream& out);
int cmd_gauges(const Args& a, std::ostream& out);
int cmd_events(const Args& a, std::ostream& out);
int cmd_check(const Args& a, std::ostream& out);

// Options of a command: "--name value" pairs (a repeated option keeps every
// value), bare flags, and positional words.
struct Options {
    std::map<std::string, std::vector<std::string>> values;
    std::vector<std::string> flags;
    std::vector<std::string> positional;
    bool has(const std::string& name) const;
    bool flag(const std::string& name) const;
    std::string get(const std::string& name) const;          // last value; "" if absent
    std::string need(const std::string& name) const;         // UsageError if absent
};
// Parses `a` against the options a command knows: `with_value` take a value,
// `bare` none. Anything else is a UsageError.
Options parse_options(const Args& a, const std::vector<std::string>& with_value,
                      const std::vector<std::string>& bare, std::size_t max_positional);
double parse_number(const std::string& text, const std::string& what);  // UsageError if not a finite number

}  // namespace nimbex::prep
