// nimbex-prep: from a user's own data (DEM, mask, gauge CSV files) to a
// working directory the program reads, and a check of such a directory.
#include <exception>
#include <iostream>
#include <string>

#include "tools/nimbex-prep/prep.h"

namespace {

using namespace nimbex::prep;

const char* const version = "nimbex-prep 1.0";

std::string usage() {
    return std::string(
               "nimbex-prep: a working directory for nimbex from your own data, and a check of it\n"
               "\n"
               "Usage:\n"
               "  nimbex-prep watershed --dem DEM --mask MASK --out basin/NAME_shd.r2c\n"
               "                        [--zone N --ellipsoid E | --latlong [--ellipsoid E]]\n"
               "                        [--class NAME=FRACTIONS ...] [--force]\n"
               "      watershed file: the DEM's grid, the cells of MASK above 0 numbered from the\n"
               "      highest, their elevations, two classes water 0.0 and land 1.0 unless --class\n"
               "      grids are given (at least two; the next-to-last is the water class)\n"
               "  nimbex-prep elevation --dem DEM --shd basin/NAME_shd.r2c --out basin/elv_max.r2c [--force]\n"
               "      the static elevation grid on the watershed's grid (same cells, aligned)\n"
               "  nimbex-prep template --shd basin/NAME_shd.r2c --par basin/NAME_par.csv --pdl basin/NAME.pdl\n"
               "                       [--radius KM] [--smoothing KM] [--lapse PER_M] [--force]\n"
               "      a parameter file that passes every check silently (radius: the grid's\n"
               "      diagonal, smoothing 0, lapse rate 0 unless given) and the pdl header\n"
               "  nimbex-prep gauges --stations STATIONS.csv --values VALUES.csv --out raing\n"
               "                     [--split month|none] [--force]\n"
               "      one gauge table yyyymmdd_rag.tb0 per calendar month (or one in all).\n"
               "      STATIONS.csv: a header row, then id,name,x,y[,elevation] (grid coordinates).\n"
               "      VALUES.csv: a header row time,<id>,<id>,..., then one row per hour,\n"
               "      \"YYYY-MM-DD HH:MM\" at the END of the hour; blank, NA, NaN or negative = missing.\n"
               "      Hours missing between rows become missing records; duplicate or unordered hours stop.\n"
               "  nimbex-prep events --gauges raing --shd basin/NAME_shd.r2c --par basin/NAME_par.csv\n"
               "                     --pdl basin/NAME.pdl --out event [--grids radcl] [--force]\n"
               "      event/event.evt for the first table and a chained event file for each further\n"
               "      one; output grids radcl/yyyymmdd_met.r2c (the folder is created)\n"
               "  nimbex-prep check [DIR]\n"
               "      reads DIR (default .) with the program's own readers, writes nothing, and\n"
               "      prints one line per problem with its fix; exit 0 clean, 1 problems\n"
               "\n"
               "DEM, MASK and FRACTIONS: ") +
           raster_formats() +
           ".\n"
           "No file is replaced without --force. Folders of the files written are created.\n"
           "Exit status: 0 done, 1 a problem (the message says which), 2 a wrong command line.\n"
           "nimbex-prep COMMAND --help shows this text.\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << usage();
        return 2;
    }
    const std::string cmd = argv[1];
    Args args(argv + 2, argv + argc);
    if (cmd == "--help" || cmd == "-h" || cmd == "help") {
        std::cout << usage();
        return 0;
    }
    if (cmd == "--version") {
        std::cout << version << " (" << raster_formats() << ")\n";
        return 0;
    }
    for (const auto& w : args)
        if (w == "--help" || w == "-h") {
            std::cout << usage();
            return 0;
        }
    // The grid library's drivers are released however the command ends.
    struct Release {
        ~Release() { release_raster_library(); }
    } release;
    try {
        if (cmd == "watershed") return cmd_watershed(args, std::cout);
        if (cmd == "elevation") return cmd_elevation(args, std::cout);
        if (cmd == "template") return cmd_template(args, std::cout);
        if (cmd == "gauges") return cmd_gauges(args, std::cout);
        if (cmd == "events") return cmd_events(args, std::cout);
        if (cmd == "check") return cmd_check(args, std::cout);
        std::cerr << "nimbex-prep: unknown command '" << cmd << "' (see nimbex-prep --help)\n";
        return 2;
    } catch (const UsageError& e) {
        std::cerr << "nimbex-prep " << cmd << ": " << e.what() << " (see nimbex-prep --help)\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "nimbex-prep " << cmd << ": " << e.what() << "\n";
        return 1;
    }
}
