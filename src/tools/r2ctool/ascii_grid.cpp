// to-ascii: a grid of an r2c file as an ESRI ASCII grid, with a ".prj" of
// its coordinate system beside it.
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "tools/r2ctool/commands.h"
#include "tools/r2ctool/crs.h"

namespace nimbex::r2ctool {

namespace {

constexpr float nodata = -9999.0f;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

void close_checked(std::unique_ptr<std::FILE, FileCloser>& f, const std::string& path) {
    const bool ok = std::ferror(f.get()) == 0;
    const bool closed = std::fclose(f.release()) == 0;
    if (!ok || !closed) throw std::runtime_error(path + ": write failed");
}

}  // namespace

std::string prj_path_for(const std::string& asc_path) {
    const auto slash = asc_path.find_last_of('/');
    const auto dot = asc_path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return asc_path + ".prj";
    return asc_path.substr(0, dot) + ".prj";
}

std::string write_ascii_grid(const R2cFile& f, const GridChoice& choice, const std::string& out_path,
                             const BasinMask& basin) {
    ChosenGrid g = choose_grid(f, choice);
    apply_mask(basin, g.values);
    const R2cHeader& h = f.header;
    std::unique_ptr<std::FILE, FileCloser> out(std::fopen(out_path.c_str(), "w"));
    if (!out) throw std::runtime_error(out_path + ": cannot be created");
    std::FILE* o = out.get();
    std::fprintf(o, "ncols %d\nnrows %d\n", h.xcount, h.ycount);
    std::fprintf(o, "xllcorner %s\nyllcorner %s\n", decimal_text(h.xorigin).c_str(), decimal_text(h.yorigin).c_str());
    if (h.xdelta == h.ydelta)
        std::fprintf(o, "cellsize %s\n", decimal_text(h.xdelta).c_str());
    else  // non-square cells: the extension GDAL and most readers take
        std::fprintf(o, "dx %s\ndy %s\n", decimal_text(h.xdelta).c_str(), decimal_text(h.ydelta).c_str());
    std::fprintf(o, "NODATA_value %.0f\n", double(nodata));
    // The r2c grid starts at its southern row; the ASCII grid at its northern.
    const std::size_t nx = static_cast<std::size_t>(h.xcount);
    char buf[48];
    std::string line;
    for (int row = h.ycount; row >= 1; --row) {
        line.clear();
        const float* v = g.values.data() + static_cast<std::size_t>(row - 1) * nx;
        for (std::size_t c = 0; c < nx; ++c) {
            const float x = std::isnan(v[c]) ? nodata : v[c];
            int n = std::snprintf(buf, sizeof buf, c == 0 ? "%.7g" : " %.7g", double(x));
            line.append(buf, static_cast<std::size_t>(n));
        }
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), o);
    }
    close_checked(out, out_path);

    const std::string wkt = crs_wkt(crs_of(h));
    if (!wkt.empty()) {
        const std::string prj = prj_path_for(out_path);
        std::unique_ptr<std::FILE, FileCloser> p(std::fopen(prj.c_str(), "w"));
        if (!p) throw std::runtime_error(prj + ": cannot be created");
        std::fprintf(p.get(), "%s\n", wkt.c_str());
        close_checked(p, prj);
    }
    return g.description;
}

}  // namespace nimbex::r2ctool
