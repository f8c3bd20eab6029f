// r2ctool: look at the r2c grids of a run, or turn them into files that GIS,
// Python, R and other models open (NetCDF-CF, ESRI ASCII grid, PNG).
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "tools/r2ctool/commands.h"
#include "tools/r2ctool/crs.h"

namespace {

using namespace nimbex::r2ctool;

const char* version_text = "r2ctool 1.0 (NIMBEX 1.0)\n";

const char* usage =
    "r2ctool: look at r2c grids and convert them\n"
    "\n"
    "Usage:\n"
    "  r2ctool info FILE.r2c\n"
    "      header, frame count and times (or the attributes of a watershed\n"
    "      file), min/max/mean/total per frame or attribute and for the file\n"
    "  r2ctool to-ascii FILE.r2c OUT.asc [--frame N | --sum | --attribute NAME] [--basin SHD.r2c]\n"
    "      ESRI ASCII grid (north row first), with OUT.prj for UTM and lat-long\n"
    "  r2ctool to-netcdf FILE.r2c OUT.nc [--event EVENT.evt] [--crs EPSG:N] [--basin SHD.r2c]\n"
    "      CF-1.8 NetCDF of all frames with time bounds (time in hours since\n"
    "      midnight of the first day); --event: one step per hour of the event\n"
    "      (dry hours 0); --crs: the coordinate system by its EPSG code\n"
    "  r2ctool png FILE.r2c OUT.png [--frame N | --sum | --attribute NAME] [--basin SHD.r2c]\n"
    "                               [--stations precip_sta.xyz]\n"
    "      quick-look map with colour scale, legend and gauges\n"
    "  r2ctool --version\n"
    "\n"
    "A file of one grid needs no --frame; for a file of several frames the\n"
    "default is --sum (the cell-by-cell sum of all frames). --basin: cells\n"
    "outside the basin (rank 0 in the watershed file) have no value.\n"
    "Exit status: 0 done, 1 a file could not be read or written, 2 a wrong\n"
    "command line, 3 a command or option this build lacks.\n";

[[maybe_unused]] void say_unavailable(const std::string& what, const char* lib) {
    std::cerr << "r2ctool: " << what << " is not available: this r2ctool was built without " << lib << "\n";
}

void list_missing([[maybe_unused]] std::ostream& o) {
#ifndef R2CTOOL_HAVE_NETCDF
    o << "(built without the netCDF library: to-netcdf is not available)\n";
#endif
#ifndef R2CTOOL_HAVE_PNG
    o << "(built without libpng: png is not available)\n";
#endif
#ifndef R2CTOOL_HAVE_PROJ
    o << "(built without PROJ: --crs is not available)\n";
#endif
}

struct Options {
    std::vector<std::string> positional;
    GridChoice choice;
    std::string stations, event, basin;
    int epsg = 0;
    bool help = false;
};

int to_number(const std::string& s, const std::string& what, long low) {
    char* end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || v < low || v > 100000000) throw UsageError(what + ": '" + s + "' is not valid");
    return static_cast<int>(v);
}

Options parse(int argc, char** argv, int from) {
    Options o;
    auto value = [&](int& i, const std::string& opt, const char* what) -> std::string {
        if (i + 1 >= argc) throw UsageError(opt + " needs " + what);
        return argv[++i];
    };
    for (int i = from; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--frame") {
            o.choice.frame = to_number(value(i, a, "a frame number"), "--frame needs a frame number from 1", 1);
        } else if (a == "--sum") {
            o.choice.sum = true;
        } else if (a == "--attribute") {
            o.choice.attribute = value(i, a, "an attribute name");
        } else if (a == "--stations") {
            o.stations = value(i, a, "a file name");
        } else if (a == "--event") {
            o.event = value(i, a, "an event file name");
        } else if (a == "--basin") {
            o.basin = value(i, a, "a watershed file name");
        } else if (a == "--crs") {
            const std::string c = value(i, a, "EPSG:N");
            if (c.size() < 6 || (c.compare(0, 5, "EPSG:") != 0 && c.compare(0, 5, "epsg:") != 0))
                throw UsageError("--crs needs EPSG:N (for instance EPSG:26917), not '" + c + "'");
            o.epsg = to_number(c.substr(5), "--crs needs an EPSG code", 1);
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a.size() > 1 && a[0] == '-') {
            throw UsageError("unknown option " + a);
        } else {
            o.positional.push_back(a);
        }
    }
    return o;
}

void need(const Options& o, std::size_t n, const std::string& cmd) {
    if (o.positional.size() != n)
        throw UsageError(cmd + " takes " + std::to_string(n) + " file name" + (n == 1 ? "" : "s") +
                         " (see r2ctool --help)");
}

// Options that only some commands take.
void only(const Options& o, const std::string& cmd, bool grid_choice, bool stations, bool event_crs, bool basin) {
    auto refuse = [&](const char* opt) { throw UsageError(cmd + " takes no " + opt); };
    if (!grid_choice && (o.choice.frame != 0 || o.choice.sum || !o.choice.attribute.empty()))
        refuse(cmd == "to-netcdf" ? "--frame, --sum or --attribute: it writes every frame" : "--frame, --sum or --attribute");
    if (!stations && !o.stations.empty()) refuse("--stations");
    if (!event_crs && !o.event.empty()) refuse("--event");
    if (!event_crs && o.epsg != 0) refuse("--crs");
    if (!basin && !o.basin.empty()) refuse("--basin");
}

int run_info(const Options& o, const std::string& cmd) {
    need(o, 1, cmd);
    only(o, cmd, false, false, false, false);
    write_info(read_r2c_file(o.positional[0]), std::cout);
    return 0;
}

int run_to_ascii(const Options& o, const std::string& cmd) {
    need(o, 2, cmd);
    only(o, cmd, true, false, false, true);
    const R2cFile f = read_r2c_file(o.positional[0]);
    const BasinMask basin = o.basin.empty() ? BasinMask{} : read_basin_mask(o.basin, f);
    std::string what = write_ascii_grid(f, o.choice, o.positional[1], basin);
    std::cout << "wrote " << o.positional[1] << " (" << what << ")\n";
    return 0;
}

int run_to_netcdf([[maybe_unused]] const Options& o, const std::string& cmd) {
#ifdef R2CTOOL_HAVE_NETCDF
    need(o, 2, cmd);
    only(o, cmd, false, false, true, true);
#ifndef R2CTOOL_HAVE_PROJ
    if (o.epsg != 0) {
        say_unavailable("--crs", "PROJ (Debian: libproj-dev)");
        return 3;
    }
#endif
    const R2cFile f = read_r2c_file(o.positional[0]);
    NetcdfOptions nco;
    EventAxis event;
    if (!o.event.empty()) {
        event = read_event_axis(o.event);
        nco.event = &event;
    }
#ifdef R2CTOOL_HAVE_PROJ
    EpsgCrs crs;
    if (o.epsg != 0) {
        crs = epsg_crs(o.epsg, f.header);
        nco.crs = &crs;
    }
#endif
    BasinMask basin;
    if (!o.basin.empty()) {
        basin = read_basin_mask(o.basin, f);
        nco.basin = &basin;
    }
    write_netcdf(f, o.positional[1], nco);
    const std::size_t steps = nco.event ? static_cast<std::size_t>(event.hours) : f.frames.size();
    std::cout << "wrote " << o.positional[1] << " (";
    if (nco.event) std::cout << steps << " hours, " << f.frames.size() << " with a frame)\n";
    else std::cout << steps << " frame" << (steps == 1 ? "" : "s") << ")\n";
    return 0;
#else
    say_unavailable(cmd, "the netCDF library (Debian: libnetcdf-dev)");
    return 3;
#endif
}

int run_png([[maybe_unused]] const Options& o, const std::string& cmd) {
#ifdef R2CTOOL_HAVE_PNG
    need(o, 2, cmd);
    only(o, cmd, true, true, false, true);
    const R2cFile f = read_r2c_file(o.positional[0]);
    const BasinMask basin = o.basin.empty() ? BasinMask{} : read_basin_mask(o.basin, f);
    std::vector<Station> st;
    if (!o.stations.empty()) st = read_stations(o.stations);
    std::string what = write_png(f, o.choice, st, o.positional[1], basin);
    std::cout << "wrote " << o.positional[1] << " (" << what << ")\n";
    return 0;
#else
    say_unavailable(cmd, "libpng (Debian: libpng-dev)");
    return 3;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << usage;
        list_missing(std::cerr);
        return 2;
    }
    const std::string cmd = argv[1];
    if (cmd == "--help" || cmd == "-h" || cmd == "help") {
        std::cout << usage;
        list_missing(std::cout);
        return 0;
    }
    if (cmd == "--version") {
        std::cout << version_text;
        return 0;
    }
    try {
        const Options o = parse(argc, argv, 2);
        if (o.help) {
            std::cout << usage;
            list_missing(std::cout);
            return 0;
        }
        if (cmd == "info") return run_info(o, cmd);
        if (cmd == "to-ascii") return run_to_ascii(o, cmd);
        if (cmd == "to-netcdf") return run_to_netcdf(o, cmd);
        if (cmd == "png") return run_png(o, cmd);
        std::cerr << "r2ctool: unknown command '" << cmd << "'\n\n" << usage;
        return 2;
    } catch (const UsageError& e) {
        std::cerr << "r2ctool: " << e.what() << "\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "r2ctool: " << e.what() << "\n";
        return 1;
    }
}
