// DEM, mask and class-fraction grids: ESRI ASCII grids always, anything GDAL
// opens when the tool is built with it.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>

#include "tools/nimbex-prep/prep.h"

#ifdef NIMBEX_PREP_HAVE_GDAL
#include <gdal.h>
#include <cpl_conv.h>
#endif

namespace nimbex::prep {

namespace {

// True when the file starts like an ESRI ASCII grid ("ncols ...").
bool looks_like_ascii_grid(const std::string& path) {
    std::ifstream in(path);
    std::string w;
    return in >> w && lower(w) == "ncols";
}

Raster read_ascii_grid(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw PrepError(path + ": cannot be opened");
    Raster r;
    r.path = path;
    double nodata = std::numeric_limits<double>::quiet_NaN();
    bool have_nodata = false, center_x = false, center_y = false;
    bool got_x = false, got_y = false, got_cell = false;
    std::string first;
    // Header: "key value" pairs up to the first number.
    while (in >> first) {
        double v = 0.0;
        if (finite_number(first, v)) break;
        std::string value;
        if (!(in >> value) || !finite_number(value, v))
            throw PrepError(path + ": header line '" + first + "' has no number");
        const std::string k = lower(first);
        if (k == "ncols") r.ncols = static_cast<int>(v);
        else if (k == "nrows") r.nrows = static_cast<int>(v);
        else if (k == "xllcorner" || k == "xllcenter") { r.xll = v; center_x = k == "xllcenter"; got_x = true; }
        else if (k == "yllcorner" || k == "yllcenter") { r.yll = v; center_y = k == "yllcenter"; got_y = true; }
        else if (k == "cellsize") { r.dx = r.dy = v; got_cell = true; }
        else if (k == "dx") { r.dx = v; got_cell = true; }
        else if (k == "dy") { r.dy = v; got_cell = true; }
        else if (k == "nodata_value") { nodata = v; have_nodata = true; }
        else throw PrepError(path + ": unknown header key '" + first + "' of an ESRI ASCII grid");
        first.clear();
    }
    if (r.ncols < 1 || r.nrows < 1 || !got_x || !got_y || !got_cell || !(r.dx > 0.0) || !(r.dy > 0.0))
        throw PrepError(path + ": the header needs ncols, nrows, xllcorner, yllcorner and cellsize (all positive)");
    if (static_cast<double>(r.ncols) * r.nrows > 1.0e8) throw PrepError(path + ": more than 100 million cells");
    if (center_x) r.xll -= r.dx / 2;
    if (center_y) r.yll -= r.dy / 2;
    const std::size_t n = static_cast<std::size_t>(r.ncols) * static_cast<std::size_t>(r.nrows);
    std::vector<double> north_first;
    north_first.reserve(n);
    std::string w = first;
    while (north_first.size() < n) {
        if (w.empty() && !(in >> w)) break;
        double v = 0.0;
        if (!finite_number(w, v)) throw PrepError(path + ": '" + w + "' is not a number");
        north_first.push_back(have_nodata && v == nodata ? std::numeric_limits<double>::quiet_NaN() : v);
        w.clear();
    }
    if (north_first.size() < n)
        throw PrepError(path + ": " + std::to_string(north_first.size()) + " values for " + std::to_string(n) +
                        " cells");
    if (in >> w) throw PrepError(path + ": more values than ncols x nrows");
    // The file starts at its northern row; the program's grids at the southern.
    r.values.resize(n);
    for (int row = 0; row < r.nrows; ++row)
        std::copy_n(north_first.begin() + static_cast<std::ptrdiff_t>(row) * r.ncols, r.ncols,
                    r.values.begin() + static_cast<std::ptrdiff_t>(r.nrows - 1 - row) * r.ncols);
    return r;
}

#ifdef NIMBEX_PREP_HAVE_GDAL
Raster read_gdal(const std::string& path) {
    GDALAllRegister();
    GDALDatasetH ds = GDALOpen(path.c_str(), GA_ReadOnly);
    if (!ds) throw PrepError(path + ": not a grid GDAL can read");
    struct Closer {
        GDALDatasetH d;
        ~Closer() { GDALClose(d); }
    } closer{ds};
    double gt[6];
    if (GDALGetGeoTransform(ds, gt) != CE_None) throw PrepError(path + ": the grid has no georeferencing");
    if (gt[2] != 0.0 || gt[4] != 0.0 || !(gt[1] > 0.0) || !(gt[5] < 0.0))
        throw PrepError(path + ": the grid is rotated or not north-up; warp it to a north-up grid first");
    Raster r;
    r.path = path;
    r.ncols = GDALGetRasterXSize(ds);
    r.nrows = GDALGetRasterYSize(ds);
    if (GDALGetRasterCount(ds) < 1) throw PrepError(path + ": no raster band");
    if (static_cast<double>(r.ncols) * r.nrows > 1.0e8) throw PrepError(path + ": more than 100 million cells");
    r.dx = gt[1];
    r.dy = -gt[5];
    r.xll = gt[0];
    r.yll = gt[3] - r.nrows * r.dy;
    GDALRasterBandH band = GDALGetRasterBand(ds, 1);
    int has_nodata = 0;
    const double nodata = GDALGetRasterNoDataValue(band, &has_nodata);
    std::vector<double> north_first(static_cast<std::size_t>(r.ncols) * r.nrows);
    if (GDALRasterIO(band, GF_Read, 0, 0, r.ncols, r.nrows, north_first.data(), r.ncols, r.nrows, GDT_Float64, 0,
                     0) != CE_None)
        throw PrepError(path + ": the values cannot be read");
    r.values.resize(north_first.size());
    for (int row = 0; row < r.nrows; ++row)
        for (int c = 0; c < r.ncols; ++c) {
            double v = north_first[static_cast<std::size_t>(row) * r.ncols + c];
            if (has_nodata && v == nodata) v = std::numeric_limits<double>::quiet_NaN();
            r.values[static_cast<std::size_t>(r.nrows - 1 - row) * r.ncols + c] = v;
        }
    return r;
}
#endif

}  // namespace

void release_raster_library() {
#ifdef NIMBEX_PREP_HAVE_GDAL
    GDALDestroyDriverManager();
#endif
}

std::string raster_formats() {
#ifdef NIMBEX_PREP_HAVE_GDAL
    return "ESRI ASCII grids, GeoTIFF and every other grid format GDAL reads";
#else
    return "ESRI ASCII grids only (this nimbex-prep was built without GDAL)";
#endif
}

Raster read_raster(const std::string& path) {
    std::ifstream probe(path);
    if (!probe) throw PrepError(path + ": cannot be opened");
    probe.close();
    if (looks_like_ascii_grid(path)) return read_ascii_grid(path);
#ifdef NIMBEX_PREP_HAVE_GDAL
    return read_gdal(path);
#else
    throw PrepError(path + ": not an ESRI ASCII grid; only ESRI ASCII grids are read (this nimbex-prep was built "
                           "without GDAL; convert with gdal_translate -of AAIGrid)");
#endif
}

void require_same_geometry(const Raster& a, const Raster& b) {
    const double tol = 1.0e-6 * std::max(a.dx, a.dy);
    if (a.ncols != b.ncols || a.nrows != b.nrows || std::fabs(a.xll - b.xll) > tol || std::fabs(a.yll - b.yll) > tol ||
        std::fabs(a.dx - b.dx) > tol || std::fabs(a.dy - b.dy) > tol)
        throw PrepError(b.path + " is not on the grid of " + a.path + " (columns, rows, corner and cell size must be "
                        "the same); resample it to that grid first");
}

}  // namespace nimbex::prep
