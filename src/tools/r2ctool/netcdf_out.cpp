// to-netcdf: the frames of an r2c file as a CF-1.8 NetCDF-4 file.
#include <netcdf.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/r2ctool/commands.h"
#include "tools/r2ctool/crs.h"

namespace nimbex::r2ctool {

namespace {

constexpr float fill_value = -9999.0f;

class NcFile {
public:
    explicit NcFile(const std::string& path) : path_(path) {
        check(nc_create(path.c_str(), NC_CLOBBER | NC_NETCDF4, &id_), "create");
    }
    ~NcFile() {
        if (id_ >= 0) nc_close(id_);
    }
    NcFile(const NcFile&) = delete;
    NcFile& operator=(const NcFile&) = delete;
    int id() const { return id_; }
    void check(int status, const char* what) const {
        if (status != NC_NOERR)
            throw std::runtime_error(path_ + ": netCDF " + what + " failed: " + nc_strerror(status));
    }
    int dim(const char* name, std::size_t len) {
        int d = -1;
        check(nc_def_dim(id_, name, len, &d), "dimension");
        return d;
    }
    int var(const char* name, nc_type type, std::vector<int> dims) {
        int v = -1;
        check(nc_def_var(id_, name, type, static_cast<int>(dims.size()), dims.data(), &v), "variable");
        return v;
    }
    void text(int var, const char* name, const std::string& value) {
        check(nc_put_att_text(id_, var, name, value.size(), value.c_str()), "attribute");
    }
    void number(int var, const char* name, double value) {
        check(nc_put_att_double(id_, var, name, NC_DOUBLE, 1, &value), "attribute");
    }
    void close() {
        const int id = id_;
        id_ = -1;
        check(nc_close(id), "close");
    }

private:
    std::string path_;
    int id_ = -1;
};

std::string two(int v) {
    char b[8];
    std::snprintf(b, sizeof b, "%02d", v);
    return b;
}

// Each axis describes the cell centres: the r2c origin is the grid's
// south-west corner and row 1 its southern row. Origin and cell size are
// taken at the decimals the header gives (0.01, not 0.00999999978).
void axis_values(std::vector<double>& v, int n, float origin, float delta) {
    v.resize(static_cast<std::size_t>(n));
    const double o = decimal(origin), d = decimal(delta);
    for (int i = 0; i < n; ++i) v[static_cast<std::size_t>(i)] = o + (i + 0.5) * d;
}

// Where the grid's hours go on the time axis.
struct TimeAxis {
    Stamp reference;                 // midnight of the first day
    std::vector<double> hours;       // one per step, from the reference
    std::vector<long> frame_of_step; // index into the frames, -1: a dry hour
};

// The frames' own times, or every hour of the event with the frames put at
// their hours.
TimeAxis time_axis(const R2cFile& f, const EventAxis* event) {
    TimeAxis t;
    const Stamp first = event ? event->start : f.frames.front().time;
    t.reference = first;
    t.reference.hour = t.reference.minute = t.reference.second = 0;
    if (!event) {
        for (std::size_t i = 0; i < f.frames.size(); ++i) {
            t.hours.push_back(hours_between(t.reference, f.frames[i].time));
            t.frame_of_step.push_back(static_cast<long>(i));
        }
        return t;
    }
    const double offset = hours_between(t.reference, event->start);
    t.frame_of_step.assign(static_cast<std::size_t>(event->hours), -1);
    for (int k = 0; k < event->hours; ++k) t.hours.push_back(offset + k);
    for (std::size_t i = 0; i < f.frames.size(); ++i) {
        const double h = hours_between(event->start, f.frames[i].time);
        const long k = static_cast<long>(std::floor(h));
        if (h != static_cast<double>(k) || k < 0 || k >= event->hours)
            throw UsageError(f.path + ": frame " + std::to_string(f.frames[i].number) + " (" +
                             stamp_text(f.frames[i].time) + ") is not one of the " + std::to_string(event->hours) +
                             " hours of the event from " + stamp_text(event->start));
        if (t.frame_of_step[static_cast<std::size_t>(k)] >= 0)
            throw std::runtime_error(f.path + ": two frames for the hour " + stamp_text(f.frames[i].time));
        t.frame_of_step[static_cast<std::size_t>(k)] = static_cast<long>(i);
    }
    return t;
}

// The dimensions and variables of the file as they are defined.
struct NcLayout {
    bool timed = false;  // a time axis (frames), or a plain map
    int tdim = -1, bdim = -1, ydim = -1, xdim = -1;
    int tvar = -1, bvar = -1, yvar = -1, xvar = -1, crsvar = -1, pvar = -1;
};

// Refuses what has no NetCDF form; returns whether the grids are timed. A
// file of frames keeps a time axis even with one frame; a single grid
// without a time (the run totals) becomes a plain map.
bool check_convertible(const R2cFile& f, const NetcdfOptions& options) {
    if (f.frames.empty() && !options.event)
        throw std::runtime_error(f.path + ": no grid after the header (an event without an hour of rain); "
                                 "--event gives its hours as 0.0");
    const bool timed = f.frames.empty() || f.frames.front().time.valid;
    for (const Frame& fr : f.frames)
        if (timed && !fr.time.valid)
            throw std::runtime_error(f.path + ": frame " + std::to_string(fr.number) + " has no readable time");
    if (f.has_attributes())
        throw std::runtime_error(f.path + " holds attributes, not frames: to-ascii and png take --attribute NAME");
    if (!timed && f.frames.size() > 1)
        throw std::runtime_error(f.path + ": the frames carry no times to build a time axis from");
    if (!timed && options.event)
        throw UsageError(f.path + " is a single grid without a time: --event does not apply");
    return timed;
}

void define_dimensions(NcFile& nc, const R2cHeader& h, const TimeAxis& axis, NcLayout& l) {
    if (l.timed) {
        l.tdim = nc.dim("time", axis.hours.size());
        l.bdim = nc.dim("nv", 2);
    }
    l.ydim = nc.dim("y", static_cast<std::size_t>(h.ycount));
    l.xdim = nc.dim("x", static_cast<std::size_t>(h.xcount));
}

// The time at the beginning of each value's hour, with its bounds.
void define_time(NcFile& nc, const TimeAxis& axis, NcLayout& l) {
    if (!l.timed) return;
    l.tvar = nc.var("time", NC_DOUBLE, {l.tdim});
    const Stamp& t0 = axis.reference;
    nc.text(l.tvar, "standard_name", "time");
    nc.text(l.tvar, "long_name", "beginning of the hour of the value");
    nc.text(l.tvar, "units", "hours since " + std::to_string(t0.year) + "-" + two(t0.month) + "-" + two(t0.day) +
                                 " 00:00:00");
    nc.text(l.tvar, "calendar", "proleptic_gregorian");
    nc.text(l.tvar, "axis", "T");
    nc.text(l.tvar, "bounds", "time_bnds");
    l.bvar = nc.var("time_bnds", NC_DOUBLE, {l.tdim, l.bdim});
}

// The cell-centre coordinates, in degrees or metres.
void define_xy(NcFile& nc, const Crs& crs, NcLayout& l) {
    const bool geo = crs.kind == GridKind::latlong;
    l.yvar = nc.var("y", NC_DOUBLE, {l.ydim});
    l.xvar = nc.var("x", NC_DOUBLE, {l.xdim});
    if (geo) {
        nc.text(l.yvar, "standard_name", "latitude");
        nc.text(l.yvar, "long_name", "latitude of the cell centre");
        nc.text(l.yvar, "units", "degrees_north");
        nc.text(l.xvar, "standard_name", "longitude");
        nc.text(l.xvar, "long_name", "longitude of the cell centre");
        nc.text(l.xvar, "units", "degrees_east");
    } else {
        if (crs.kind == GridKind::utm) {
            nc.text(l.yvar, "standard_name", "projection_y_coordinate");
            nc.text(l.xvar, "standard_name", "projection_x_coordinate");
        }
        nc.text(l.yvar, "long_name", "northing of the cell centre");
        nc.text(l.yvar, "units", "m");
        nc.text(l.xvar, "long_name", "easting of the cell centre");
        nc.text(l.xvar, "units", "m");
    }
    nc.text(l.yvar, "axis", "Y");
    nc.text(l.xvar, "axis", "X");
}

// The grid mapping of a UTM or latitude-longitude grid, or of the system
// named by its EPSG code.
void define_crs(NcFile& nc, const Crs& crs, const NetcdfOptions& options, NcLayout& l) {
    if (crs.kind == GridKind::cartesian && !options.crs) return;
    const int crsvar = l.crsvar = nc.var("crs", NC_INT, {});
    if (crs.kind == GridKind::utm) {
        nc.text(crsvar, "grid_mapping_name", "transverse_mercator");
        nc.number(crsvar, "longitude_of_central_meridian", central_meridian(crs.zone));
        nc.number(crsvar, "latitude_of_projection_origin", 0.0);
        nc.number(crsvar, "scale_factor_at_central_meridian", 0.9996);
        nc.number(crsvar, "false_easting", 500000.0);
        nc.number(crsvar, "false_northing", crs.south ? 10000000.0 : 0.0);
        nc.text(crsvar, "long_name", "UTM zone " + std::to_string(crs.zone) + (crs.south ? "S" : "N"));
    } else {
        nc.text(crsvar, "grid_mapping_name", "latitude_longitude");
    }
    if (crs.ellipsoid.known) {
        nc.number(crsvar, "semi_major_axis", crs.ellipsoid.semi_major);
        nc.number(crsvar, "inverse_flattening", crs.ellipsoid.inverse_flattening);
        nc.number(crsvar, "longitude_of_prime_meridian", 0.0);
        nc.text(crsvar, "reference_ellipsoid_name", crs.ellipsoid.name);
    }
    if (options.crs) {
        // The system named by its code: GDAL, rasterio and QGIS take the
        // code from the authority in the WKT.
        nc.text(crsvar, "long_name", options.crs->name);
        nc.text(crsvar, "crs_wkt", options.crs->wkt);
        nc.text(crsvar, "spatial_ref", options.crs->wkt);
    } else {
        const std::string wkt = crs_wkt(crs);
        if (!wkt.empty()) nc.text(crsvar, "crs_wkt", wkt);
    }
}

// The grids: one chunk per step, compressed, in mm.
void define_precipitation(NcFile& nc, const R2cFile& f, const NetcdfOptions& options, NcLayout& l) {
    const R2cHeader& h = f.header;
    std::vector<int> dims;
    if (l.timed) dims.push_back(l.tdim);
    dims.push_back(l.ydim);
    dims.push_back(l.xdim);
    const int pvar = l.pvar = nc.var("precipitation", NC_FLOAT, dims);
    std::vector<std::size_t> chunk;
    if (l.timed) chunk.push_back(1);
    chunk.push_back(static_cast<std::size_t>(h.ycount));
    chunk.push_back(static_cast<std::size_t>(h.xcount));
    nc.check(nc_def_var_chunking(nc.id(), pvar, NC_CHUNKED, chunk.data()), "chunking");
    nc.check(nc_def_var_deflate(nc.id(), pvar, 1, 1, 4), "compression");
    nc.check(nc_def_var_fill(nc.id(), pvar, 0, &fill_value), "fill value");
    const bool precip = is_precipitation(f);
    if (precip) nc.text(pvar, "standard_name", "precipitation_amount");
    std::string long_name(h.name.trimmed());
    if (precip) long_name = l.timed ? "precipitation in the hour (time_bnds)"
                                    : "precipitation amount of the grid";
    nc.text(pvar, "long_name", long_name);
    nc.text(pvar, "units", "mm");
    if (l.crsvar >= 0) nc.text(pvar, "grid_mapping", "crs");
    if (l.timed) nc.text(pvar, "cell_methods", "time: sum");
    // The program computes a cell's value at the cell's north-east corner
    // (column j and row i at positions j and i from the origin).
    nc.text(pvar, "comment",
            "each value is computed at the north-east corner of its cell (x + dx/2, y + dy/2 for the cell "
            "centre x, y): the point the inverse-distance weights are taken at" +
                std::string(options.basin ? "; cells outside the basin are _FillValue" : ""));
}

void put_global_attributes(NcFile& nc, const R2cFile& f) {
    const R2cHeader& h = f.header;
    nc.text(NC_GLOBAL, "Conventions", "CF-1.8");
    nc.text(NC_GLOBAL, "title", std::string(h.name.trimmed()) + " from " + f.path);
    nc.text(NC_GLOBAL, "source", "r2c grid written by " + std::string(h.written_by.trimmed()) +
                                     (f.source_file.empty() ? "" : " from " + f.source_file));
    nc.text(NC_GLOBAL, "history", "converted from " + f.path + " by r2ctool");
    std::string notes;
    if (f.weight_used != 0) notes += "inverse-distance power " + std::to_string(f.weight_used) + "\n";
    for (const std::string& c : f.comments) notes += c + "\n";
    if (!notes.empty()) nc.text(NC_GLOBAL, "comment", notes);
}

void write_axes(NcFile& nc, const R2cHeader& h, const TimeAxis& axis, const NcLayout& l) {
    std::vector<double> v;
    axis_values(v, h.ycount, h.yorigin, h.ydelta);
    nc.check(nc_put_var_double(nc.id(), l.yvar, v.data()), "write y");
    axis_values(v, h.xcount, h.xorigin, h.xdelta);
    nc.check(nc_put_var_double(nc.id(), l.xvar, v.data()), "write x");
    if (l.timed) {
        nc.check(nc_put_var_double(nc.id(), l.tvar, axis.hours.data()), "write time");
        v.clear();
        for (double t : axis.hours) {
            v.push_back(t);
            v.push_back(t + 1.0);
        }
        nc.check(nc_put_var_double(nc.id(), l.bvar, v.data()), "write time bounds");
    }
}

// Each step's grid, cells without a value (or outside the basin) as the fill value.
void write_grids(NcFile& nc, const R2cFile& f, const TimeAxis& axis, const NetcdfOptions& options,
                 const NcLayout& l) {
    const std::size_t nx = static_cast<std::size_t>(f.header.xcount);
    const std::size_t ny = static_cast<std::size_t>(f.header.ycount);
    std::vector<float> grid(nx * ny);
    const std::size_t steps = l.timed ? axis.hours.size() : 1;
    for (std::size_t i = 0; i < steps; ++i) {
        const long fi = l.timed ? axis.frame_of_step[i] : 0;
        if (fi < 0) {
            std::fill(grid.begin(), grid.end(), 0.0f);  // an hour without rain has no frame
        } else {
            const std::vector<float>& src = f.frames[static_cast<std::size_t>(fi)].values;
            std::copy(src.begin(), src.end(), grid.begin());
        }
        if (options.basin) apply_mask(*options.basin, grid);
        for (float& x : grid)
            if (std::isnan(x)) x = fill_value;
        std::vector<std::size_t> start, count;
        if (l.timed) {
            start.push_back(i);
            count.push_back(1);
        }
        start.insert(start.end(), {0, 0});
        count.insert(count.end(), {ny, nx});
        nc.check(nc_put_vara_float(nc.id(), l.pvar, start.data(), count.data(), grid.data()), "write grid");
    }
}

}  // namespace

void write_netcdf(const R2cFile& f, const std::string& out_path, const NetcdfOptions& options) {
    const R2cHeader& h = f.header;
    const Crs crs = crs_of(h);
    NcLayout l;
    l.timed = check_convertible(f, options);
    TimeAxis axis;
    if (l.timed) axis = time_axis(f, options.event);

    NcFile nc(out_path);
    define_dimensions(nc, h, axis, l);
    define_time(nc, axis, l);
    define_xy(nc, crs, l);
    define_crs(nc, crs, options, l);
    define_precipitation(nc, f, options, l);
    put_global_attributes(nc, f);
    nc.check(nc_enddef(nc.id()), "define");
    write_axes(nc, h, axis, l);
    write_grids(nc, f, axis, options, l);
    nc.close();
}

}  // namespace nimbex::r2ctool
