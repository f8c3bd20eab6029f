// info: the header essentials, frames and statistics of an r2c file.
#include <cstdio>
#include <ostream>
#include <string>

#include "tools/r2ctool/commands.h"
#include "tools/r2ctool/crs.h"
#include "tools/r2ctool/grid_stats.h"

namespace nimbex::r2ctool {

namespace {

std::string fmt(const char* f, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, f, v);
    return buf;
}

std::string stats_row(const std::string& label, const GridStats& s, bool with_total) {
    char buf[200];
    if (s.cells == 0) {
        std::snprintf(buf, sizeof buf, "%-32s %10s %10s %10s %12s", label.c_str(), "-", "-", "-", "-");
    } else {
        std::snprintf(buf, sizeof buf, "%-32s %10.2f %10.2f %10.3f %12s", label.c_str(), s.min, s.max, s.mean,
                      with_total ? fmt("%.2f", s.total).c_str() : "-");
    }
    std::string line = buf;
    if (s.missing > 0) line += "  (" + std::to_string(s.missing) + " cells without a value)";
    return line;
}

}  // namespace

void write_info(const R2cFile& f, std::ostream& out) {
    const R2cHeader& h = f.header;
    const bool precip = is_precipitation(f);
    const Crs crs = crs_of(h);
    out << "File:        " << f.path << "\n";
    out << "Name:        " << h.name.trimmed() << (precip ? " (mm)" : "") << "\n";
    out << "Written by:  " << h.written_by.trimmed();
    if (f.weight_used != 0) out << ", inverse-distance power " << f.weight_used;
    out << "\n";
    if (!f.source_file.empty()) out << "Source:      " << f.source_file << "\n";
    out << "Grid:        " << h.xcount << " columns x " << h.ycount << " rows, cells " << decimal_text(h.xdelta)
        << " x " << decimal_text(h.ydelta) << "\n";
    out << "Extent:      x " << fmt("%.4f", decimal(h.xorigin)) << " to "
        << fmt("%.4f", decimal(h.xorigin) + h.xcount * decimal(h.xdelta)) << ", y " << fmt("%.4f", decimal(h.yorigin))
        << " to " << fmt("%.4f", decimal(h.yorigin) + h.ycount * decimal(h.ydelta))
        << " (row 1 is the southern row)\n";
    out << "System:      " << crs_summary(crs) << "\n";
    for (const std::string& c : f.comments) out << "Header note: " << c << "\n";
    if (f.frames.empty()) {
        out << "Frames:      0 (the header alone: an event without an hour of rain)\n";
        return;
    }
    const Stamp& first = f.frames.front().time;
    const Stamp& last = f.frames.back().time;
    if (f.has_attributes()) {
        out << "Attributes:  " << f.attribute_names.size() << " (no frames; choose one with --attribute NAME)";
    } else {
        out << "Frames:      " << f.frames.size();
        if (first.valid) out << ", first " << stamp_text(first);
        if (last.valid && f.frames.size() > 1) out << ", last " << stamp_text(last);
        if (!first.valid && f.frames.size() == 1) out << " (a single grid without a time)";
    }
    out << "\n\n";

    char head[200];
    std::snprintf(head, sizeof head, "%-32s %10s %10s %10s %12s", f.has_attributes() ? "attribute" : "frame", "min",
                  "max", "mean",
                  precip ? "grid total" : "");
    out << head << "\n";
    GridStats all;
    std::vector<float> sum(f.frames.front().values.size(), 0.0f);
    for (std::size_t i = 0; i < f.frames.size(); ++i) {
        const Frame& fr = f.frames[i];
        GridStats s;
        for (std::size_t k = 0; k < fr.values.size(); ++k) {
            s.add(fr.values[k]);
            all.add(fr.values[k]);
            sum[k] += fr.values[k];
        }
        s.finish();
        char label[80];
        std::snprintf(label, sizeof label, "%5d  %s", fr.number,
                      f.has_attributes() ? f.attribute_names[i].c_str() : stamp_text(fr.time).c_str());
        out << stats_row(label, s, precip) << "\n";
    }
    all.finish();
    out << "\n" << stats_row("all values of the file", all, precip) << "\n";
    if (f.frames.size() > 1 && !f.has_attributes()) out << stats_row("cell sums over the frames", stats_of(sum), precip) << "\n";
    if (precip)
        out << "(grid total: the sum of the cell values in mm; times the cell area it gives the volume)\n";
}

}  // namespace nimbex::r2ctool
