// The coordinate system of an r2c header: the ellipsoids r2ctool knows, its
// WKT and a line for listings.
#include "tools/r2ctool/crs.h"

#include <cstdio>

#include "ensim/keyword_line.h"
#include "platform/text.h"

namespace nimbex::r2ctool {

Ellipsoid ellipsoid_by_name(std::string name) {
    const std::string given(trim(name));
    name = given;
    lower_case(name);
    std::string compact;
    for (char c : name)
        if (c != ' ' && c != '-' && c != '_') compact += c;
    if (compact == "grs80" || compact == "grs1980")
        return {"GRS 1980", "unknown based on GRS 1980 ellipsoid", 6378137.0, 298.257222101, true};
    if (compact == "nad83")
        return {"GRS 1980", "North_American_Datum_1983", 6378137.0, 298.257222101, true};
    if (compact == "wgs84")
        return {"WGS 84", "WGS_1984", 6378137.0, 298.257223563, true};
    if (compact == "wgs72")
        return {"WGS 72", "WGS_1972", 6378135.0, 298.26, true};
    if (compact == "nad27" || compact == "clarke1866")
        return {"Clarke 1866", compact == "nad27" ? "North_American_Datum_1927" : "unknown based on Clarke 1866 ellipsoid",
                6378206.4, 294.978698213898, true};
    Ellipsoid e;
    e.name = given;
    return e;
}

double central_meridian(int zone) { return zone * 6.0 - 183.0; }

Crs crs_of(const R2cHeader& h) {
    Crs c;
    c.projection = std::string(h.projection.trimmed());
    std::string p = c.projection;
    lower_case(p);
    c.ellipsoid = ellipsoid_by_name(std::string(h.ellipsoid.trimmed()));
    if (p == "utm") {
        c.kind = GridKind::utm;
        c.zone = h.zone < 0 ? -h.zone : h.zone;
        c.south = h.zone < 0;
        if (c.zone < 1 || c.zone > 60) c.problem = "UTM zone " + std::to_string(h.zone) + " is not 1 to 60";
    } else if (is_latlong(c.projection)) {
        c.kind = GridKind::latlong;
    } else {
        c.kind = GridKind::cartesian;
        c.problem = "projection " + c.projection + " has no geographic reference";
        return c;
    }
    if (c.problem.empty() && !c.ellipsoid.known)
        c.problem = "ellipsoid " + std::string(h.ellipsoid.trimmed()) + " is not one r2ctool knows";
    return c;
}

namespace {

std::string num(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.12g", v);
    return buf;
}

std::string geogcs(const Ellipsoid& e) {
    return "GEOGCS[\"" + e.datum + "\",DATUM[\"" + e.datum + "\",SPHEROID[\"" + e.name + "\"," + num(e.semi_major) +
           "," + num(e.inverse_flattening) +
           "]],PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433],AXIS[\"Latitude\",NORTH],"
           "AXIS[\"Longitude\",EAST]]";
}

}  // namespace

std::string crs_wkt(const Crs& c) {
    if (!c.problem.empty()) return "";
    if (c.kind == GridKind::latlong) return geogcs(c.ellipsoid);
    const std::string zone = "UTM zone " + std::to_string(c.zone) + (c.south ? "S" : "N");
    return "PROJCS[\"" + zone + " (" + c.ellipsoid.name + ")\"," + geogcs(c.ellipsoid) +
           ",PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"latitude_of_origin\",0],PARAMETER[\"central_meridian\"," +
           num(central_meridian(c.zone)) +
           "],PARAMETER[\"scale_factor\",0.9996],PARAMETER[\"false_easting\",500000],PARAMETER[\"false_northing\"," +
           (c.south ? "10000000" : "0") + "],UNIT[\"metre\",1],AXIS[\"Easting\",EAST],AXIS[\"Northing\",NORTH]]";
}

std::string crs_summary(const Crs& c) {
    std::string s;
    if (c.kind == GridKind::utm)
        s = "UTM zone " + std::to_string(c.zone) + (c.south ? "S" : "N");
    else if (c.kind == GridKind::latlong)
        s = "latitude-longitude";
    else
        return c.projection.empty() ? "Cartesian" : c.projection + " (no geographic reference)";
    if (c.ellipsoid.known)
        s += ", " + c.ellipsoid.name + " (a=" + num(c.ellipsoid.semi_major) + ", 1/f=" +
             num(c.ellipsoid.inverse_flattening) + ")";
    else
        s += ", ellipsoid " + c.ellipsoid.name + " (unknown)";
    return s;
}

}  // namespace nimbex::r2ctool
