#pragma once
// The coordinate system of an r2c grid (":Projection", ":Ellipsoid", ":Zone")
// in the forms other software reads: CF grid-mapping attributes and WKT.
#include <string>

#include "ensim/r2c_header.h"
#include "tools/r2ctool/commands.h"

namespace nimbex::r2ctool {

struct Ellipsoid {
    std::string name;          // as a WKT spheroid name
    std::string datum;         // WKT datum name
    double semi_major = 0.0;   // m
    double inverse_flattening = 0.0;
    bool known = false;
};

enum class GridKind { utm, latlong, cartesian };

struct Crs {
    GridKind kind = GridKind::cartesian;
    int zone = 0;              // UTM zone 1..60
    bool south = false;        // a negative zone: southern hemisphere
    Ellipsoid ellipsoid;
    std::string projection;    // as in the header, trimmed
    std::string problem;       // why the system cannot be described ("" if it can)
};

// The header's ellipsoid name (any case): GRS80, NAD83, WGS84, WGS72, NAD27,
// CLARKE1866; anything else is unknown.
Ellipsoid ellipsoid_by_name(std::string name);
Crs crs_of(const R2cHeader& h);
// Central meridian of a UTM zone, degrees.
double central_meridian(int zone);
// OGC WKT 1 of the system, "" when it cannot be given (Cartesian, unknown
// ellipsoid or zone).
std::string crs_wkt(const Crs& c);
// One line for listings: "UTM zone 17N, GRS80 (a=6378137, 1/f=298.257222101)".
std::string crs_summary(const Crs& c);

#ifdef R2CTOOL_HAVE_PROJ
// The system of EPSG code `code` from PROJ, checked against the header's
// projection, zone and ellipsoid. Throws UsageError for an unknown code or
// one that does not describe the grid.
EpsgCrs epsg_crs(int code, const R2cHeader& h);
#endif

}  // namespace nimbex::r2ctool
