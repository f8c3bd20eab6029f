#pragma once
// The subcommands of r2ctool. Each writes its report to `out` and throws
// std::runtime_error with a message for the user when it cannot do its job.
#include <iosfwd>
#include <string>

#include "tools/r2ctool/r2c_file.h"

namespace nimbex::r2ctool {

// Header essentials, frame count and times, statistics per frame and for the
// whole file.
void write_info(const R2cFile& f, std::ostream& out);

// ESRI ASCII grid (north row first) of the chosen grid, cells outside the
// basin (when given) as NODATA, and beside it a ".prj" with the coordinate
// system when the header gives one. Returns the description of the grid written.
std::string write_ascii_grid(const R2cFile& f, const GridChoice& choice, const std::string& out_path,
                             const BasinMask& basin = {});

// The ".prj" name that goes with an ASCII grid: "x.asc" -> "x.prj".
std::string prj_path_for(const std::string& asc_path);

// The regular hourly axis of an event: its start and its hours of rain data,
// from the event file as the program reads it.
struct EventAxis {
    Stamp start;
    int hours = 0;
};
EventAxis read_event_axis(const std::string& evt_path);

// A coordinate system named by its EPSG code, as PROJ gives it.
struct EpsgCrs {
    int code = 0;
    std::string name;  // "NAD83 / UTM zone 17N"
    std::string wkt;   // WKT 1 as GDAL reads it, with the EPSG authority
};

struct NetcdfOptions {
    const EventAxis* event = nullptr;  // regular hourly axis of this event
    const EpsgCrs* crs = nullptr;      // grid mapping named by EPSG code
    const BasinMask* basin = nullptr;  // cells outside as _FillValue
};

#ifdef R2CTOOL_HAVE_NETCDF
// CF-1.8 NetCDF of every frame of the file.
void write_netcdf(const R2cFile& f, const std::string& out_path, const NetcdfOptions& options = {});
#endif

struct Station {
    double x = 0.0, y = 0.0;
    int number = 0;
    std::string name;
};
// The stations of a "precip_sta.xyz" list (x, y, number, name per line).
std::vector<Station> read_stations(const std::string& path);

#ifdef R2CTOOL_HAVE_PNG
// Quick-look map of the chosen grid (see quicklook.h) as a PNG file.
// Returns the description of the grid drawn.
std::string write_png(const R2cFile& f, const GridChoice& choice, const std::vector<Station>& stations,
                      const std::string& out_path, const BasinMask& basin = {});
#endif

}  // namespace nimbex::r2ctool
