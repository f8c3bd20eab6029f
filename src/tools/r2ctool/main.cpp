// r2ctool: look at the r2c grids of a run, or turn them into files that GIS,
// Python, R and other models open (NetCDF-CF, ESRI ASCII grid, PNG).
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "tools/r2ctool/commands.h"

namespace {

using namespace nimbex::r2ctool;

const char* usage =
    "r2ctool: look at r2c grids and convert them\n"
    "\n"
    "Usage:\n"
    "  r2ctool info FILE.r2c\n"
    "      header, frame count and times, min/max/mean/total per frame and file\n"
    "  r2ctool to-ascii FILE.r2c OUT.asc [--frame N | --sum]\n"
    "      ESRI ASCII grid (north row first), with OUT.prj for UTM and lat-long\n"
    "  r2ctool to-netcdf FILE.r2c OUT.nc\n"
    "      CF-1.8 NetCDF of all frames (time in hours since the first frame)\n"
    "  r2ctool png FILE.r2c OUT.png [--frame N | --sum] [--stations precip_sta.xyz]\n"
    "      quick-look map with colour scale, legend and gauges\n"
    "\n"
    "A file of one grid needs no --frame; for a file of several frames the\n"
    "default is --sum (the cell-by-cell sum of all frames).\n";

[[maybe_unused]] void say_unavailable(const std::string& cmd, const char* lib) {
    std::cerr << "r2ctool: " << cmd << " is not available: this r2ctool was built without " << lib << "\n";
}

void list_missing([[maybe_unused]] std::ostream& o) {
#ifndef R2CTOOL_HAVE_NETCDF
    o << "(built without the netCDF library: to-netcdf is not available)\n";
#endif
#ifndef R2CTOOL_HAVE_PNG
    o << "(built without libpng: png is not available)\n";
#endif
}

struct Options {
    std::vector<std::string> positional;
    GridChoice choice;
    std::string stations;
};

int to_int(const std::string& s, const std::string& what) {
    char* end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || v < 1 || v > 100000000) throw std::runtime_error(what + " needs a frame number from 1, not '" + s + "'");
    return static_cast<int>(v);
}

Options parse(int argc, char** argv, int from) {
    Options o;
    for (int i = from; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--frame") {
            if (i + 1 >= argc) throw std::runtime_error("--frame needs a number");
            o.choice.frame = to_int(argv[++i], "--frame");
        } else if (a == "--sum") {
            o.choice.sum = true;
        } else if (a == "--stations") {
            if (i + 1 >= argc) throw std::runtime_error("--stations needs a file name");
            o.stations = argv[++i];
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            throw std::runtime_error("unknown option " + a);
        } else {
            o.positional.push_back(a);
        }
    }
    return o;
}

void need(const Options& o, std::size_t n, const std::string& cmd) {
    if (o.positional.size() != n)
        throw std::runtime_error(cmd + " takes " + std::to_string(n) + " file name" + (n == 1 ? "" : "s") +
                                 " (see r2ctool --help)");
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
    try {
        const Options o = parse(argc, argv, 2);
        if (cmd == "info") {
            need(o, 1, cmd);
            write_info(read_r2c_file(o.positional[0]), std::cout);
        } else if (cmd == "to-ascii") {
            need(o, 2, cmd);
            const R2cFile f = read_r2c_file(o.positional[0]);
            std::string what = write_ascii_grid(f, o.choice, o.positional[1]);
            std::cout << "wrote " << o.positional[1] << " (" << what << ")\n";
        } else if (cmd == "to-netcdf") {
#ifdef R2CTOOL_HAVE_NETCDF
            need(o, 2, cmd);
            if (o.choice.frame != 0 || o.choice.sum) throw std::runtime_error("to-netcdf writes every frame; it takes no --frame or --sum");
            const R2cFile f = read_r2c_file(o.positional[0]);
            write_netcdf(f, o.positional[1]);
            std::cout << "wrote " << o.positional[1] << " (" << f.frames.size() << " frame"
                      << (f.frames.size() == 1 ? "" : "s") << ")\n";
#else
            say_unavailable(cmd, "the netCDF library (Debian: libnetcdf-dev)");
            return 3;
#endif
        } else if (cmd == "png") {
#ifdef R2CTOOL_HAVE_PNG
            need(o, 2, cmd);
            const R2cFile f = read_r2c_file(o.positional[0]);
            std::vector<Station> st;
            if (!o.stations.empty()) st = read_stations(o.stations);
            std::string what = write_png(f, o.choice, st, o.positional[1]);
            std::cout << "wrote " << o.positional[1] << " (" << what << ")\n";
#else
            say_unavailable(cmd, "libpng (Debian: libpng-dev)");
            return 3;
#endif
        } else {
            std::cerr << "r2ctool: unknown command '" << cmd << "'\n\n" << usage;
            return 2;
        }
    } catch (const std::exception& e) {
        std::cerr << "r2ctool: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
