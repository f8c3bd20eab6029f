// to-netcdf --crs: a coordinate system by its EPSG code from PROJ, checked
// against the grid's header.
#include <proj.h>

#include <cmath>
#include <memory>
#include <string>

#include "tools/r2ctool/crs.h"

namespace nimbex::r2ctool {

namespace {

struct ContextDeleter {
    void operator()(PJ_CONTEXT* c) const { proj_context_destroy(c); }
};
struct ObjectDeleter {
    void operator()(PJ* p) const { proj_destroy(p); }
};
using Context = std::unique_ptr<PJ_CONTEXT, ContextDeleter>;
using Object = std::unique_ptr<PJ, ObjectDeleter>;

bool close_to(double a, double b, double relative) { return std::fabs(a - b) <= relative * std::fabs(b); }

// The value of a parameter of a Transverse Mercator conversion in SI units
// (radians, metres), by EPSG code (8802 central meridian, 8805 scale, 8806
// false easting, 8807 false northing); NaN when absent.
double parameter(PJ_CONTEXT* ctx, PJ* op, const char* code) {
    const int count = proj_coordoperation_get_param_count(ctx, op);
    for (int i = 0; i < count; ++i) {
        const char* auth = nullptr;
        const char* c = nullptr;
        double value = 0.0, to_si = 1.0;
        if (proj_coordoperation_get_param(ctx, op, i, nullptr, &auth, &c, &value, nullptr, &to_si, nullptr, nullptr,
                                          nullptr, nullptr) &&
            c != nullptr && std::string(c) == code)
            return value * to_si;
    }
    return std::nan("");
}

}  // namespace

EpsgCrs epsg_crs(int code, const R2cHeader& h) {
    const Crs header = crs_of(h);
    const std::string epsg = "EPSG:" + std::to_string(code);
    Context ctx(proj_context_create());
    if (!ctx) throw std::runtime_error("PROJ could not be started");
    proj_log_level(ctx.get(), PJ_LOG_NONE);
    Object crs(proj_create(ctx.get(), epsg.c_str()));
    if (!crs) throw UsageError(epsg + " is not a coordinate system PROJ knows");
    EpsgCrs out;
    out.code = code;
    out.name = proj_get_name(crs.get()) ? proj_get_name(crs.get()) : epsg;
    const PJ_TYPE type = proj_get_type(crs.get());
    const std::string refuse = epsg + " (" + out.name + ") is not the system of the grid (" + crs_summary(header) + ")";

    if (header.kind == GridKind::cartesian) throw UsageError(refuse + ": the header names no geographic system");
    if (header.kind == GridKind::latlong) {
        if (type != PJ_TYPE_GEOGRAPHIC_2D_CRS && type != PJ_TYPE_GEOGRAPHIC_3D_CRS) throw UsageError(refuse);
    } else {
        if (type != PJ_TYPE_PROJECTED_CRS) throw UsageError(refuse);
        Object op(proj_crs_get_coordoperation(ctx.get(), crs.get()));
        const char* method = nullptr;
        const char* method_code = nullptr;
        if (!op || !proj_coordoperation_get_method_info(ctx.get(), op.get(), &method, nullptr, &method_code) ||
            method_code == nullptr || std::string(method_code) != "9807")
            throw UsageError(refuse + ": not a Transverse Mercator projection");
        const double lon0 = parameter(ctx.get(), op.get(), "8802");
        const double k0 = parameter(ctx.get(), op.get(), "8805");
        const double fe = parameter(ctx.get(), op.get(), "8806");
        const double fn = parameter(ctx.get(), op.get(), "8807");
        const double degree = std::acos(-1.0) / 180.0;
        if (!(std::fabs(lon0 - central_meridian(header.zone) * degree) < 1e-9 && close_to(k0, 0.9996, 1e-9) &&
              std::fabs(fe - 500000.0) < 1e-3 && std::fabs(fn - (header.south ? 10000000.0 : 0.0)) < 1e-3))
            throw UsageError(refuse + ": another UTM zone or projection");
    }
    if (header.ellipsoid.known) {
        Object ell(proj_get_ellipsoid(ctx.get(), crs.get()));
        double a = 0.0, b = 0.0, inv_f = 0.0;
        int computed = 0;
        if (!ell || !proj_ellipsoid_get_parameters(ctx.get(), ell.get(), &a, &b, &computed, &inv_f))
            throw UsageError(refuse + ": PROJ gives no ellipsoid");
        // GRS80 and WGS84 differ by a tenth of a millimetre: either fits the other.
        if (!close_to(a, header.ellipsoid.semi_major, 1e-9) ||
            !close_to(inv_f, header.ellipsoid.inverse_flattening, 1e-7))
            throw UsageError(refuse + ": another ellipsoid");
    }
    const char* options[] = {"MULTILINE=NO", nullptr};
    const char* wkt = proj_as_wkt(ctx.get(), crs.get(), PJ_WKT1_GDAL, options);
    if (wkt == nullptr) throw std::runtime_error("PROJ gives no WKT for " + epsg);
    out.wkt = wkt;
    return out;
}

}  // namespace nimbex::r2ctool
