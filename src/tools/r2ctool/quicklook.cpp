// The quick-look map drawn into an image, and the image and colour scale it uses.
#include "tools/r2ctool/quicklook.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tools/r2ctool/crs.h"
#include "tools/r2ctool/font.h"

namespace nimbex::r2ctool {

namespace {

constexpr Rgb white{255, 255, 255};
constexpr Rgb black{0, 0, 0};
constexpr Rgb grey{150, 150, 150};
constexpr Rgb no_value{200, 200, 200};

std::string base_name(const std::string& path) {
    const auto p = path.find_last_of("/\\");
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::string number_text(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

}  // namespace

Image::Image(int w, int h, Rgb fill) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h * 3) {
    for (std::size_t i = 0; i < pixels.size(); i += 3) {
        pixels[i] = fill.r;
        pixels[i + 1] = fill.g;
        pixels[i + 2] = fill.b;
    }
}

Rgb Image::get(int x, int y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
    return {pixels[i], pixels[i + 1], pixels[i + 2]};
}

void Image::set(int x, int y, Rgb c) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
    pixels[i] = c.r;
    pixels[i + 1] = c.g;
    pixels[i + 2] = c.b;
}

void Image::fill_rect(int x, int y, int w, int h, Rgb c) {
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i) set(i, j, c);
}

void Image::frame_rect(int x, int y, int w, int h, Rgb c) {
    fill_rect(x, y, w, 1, c);
    fill_rect(x, y + h - 1, w, 1, c);
    fill_rect(x, y, 1, h, c);
    fill_rect(x + w - 1, y, 1, h, c);
}

void Image::text(int x, int y, const std::string& s, Rgb c, int scale) {
    for (char ch : s) {
        const std::uint8_t* g = glyph(ch);
        for (int row = 0; row < glyph_height; ++row)
            for (int col = 0; col < glyph_width; ++col)
                if (g[row] & (0x10 >> col)) fill_rect(x + col * scale, y + row * scale, scale, scale, c);
        x += (glyph_width + 1) * scale;
    }
}

void Image::disc(int cx, int cy, int radius, Rgb fill, Rgb edge) {
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) {
            const int d2 = dx * dx + dy * dy;
            if (d2 <= radius * radius) set(cx + dx, cy + dy, d2 >= (radius - 1) * (radius - 1) ? edge : fill);
        }
}

int text_width(const std::string& s, int scale) {
    return s.empty() ? 0 : static_cast<int>(s.size()) * (glyph_width + 1) * scale - scale;
}

Rgb scale_colour(float v, float top) {
    // Pale yellow through green and blue to purple for the heaviest amounts:
    // the hue changes along the scale, so nearby amounts stay apart.
    static const Rgb stops[] = {{255, 255, 204}, {161, 218, 180}, {65, 182, 196}, {44, 127, 184}, {37, 52, 148}, {84, 39, 143}};
    constexpr int n = sizeof stops / sizeof stops[0];
    if (std::isnan(v)) return no_value;
    if (!(v > 0.0f)) return white;
    float t = top > 0.0f ? v / top : 1.0f;
    t = std::clamp(t, 0.0f, 1.0f) * (n - 1);
    const int i = std::min(static_cast<int>(t), n - 2);
    const float f = t - static_cast<float>(i);
    auto mix = [f](std::uint8_t a, std::uint8_t b) {
        return static_cast<std::uint8_t>(std::lround(a + (b - a) * f));
    };
    return {mix(stops[i].r, stops[i + 1].r), mix(stops[i].g, stops[i + 1].g), mix(stops[i].b, stops[i + 1].b)};
}

void nice_scale(float max, float& top, float& step) {
    if (!(max > 0.0f) || !std::isfinite(max)) {
        top = 1.0f;
        step = 0.2f;
        return;
    }
    // The smallest round step (1, 2, 2.5 or 5 times a power of ten) that
    // covers the values in at most seven intervals.
    const double want = static_cast<double>(max) / 7.0;
    const double p = std::pow(10.0, std::floor(std::log10(want)));
    double s = 10.0 * p;
    for (double m : {1.0, 2.0, 2.5, 5.0})
        if (m * p >= want * (1.0 - 1e-9)) {
            s = m * p;
            break;
        }
    step = static_cast<float>(s);
    top = static_cast<float>(std::ceil(static_cast<double>(max) / s - 1e-9) * s);
}

namespace {

constexpr int margin = 12, title_scale = 2, line2 = 18;
constexpr int legend_w = 24;

// Map size: whole pixels per cell while the grid is small, otherwise
// about 640 pixels on the long side; cells keep their shape.
void map_size(const R2cHeader& h, int& mw, int& mh) {
    const int nx = h.xcount, ny = h.ycount;
    const double width_m = nx * static_cast<double>(h.xdelta);
    const double height_m = ny * static_cast<double>(h.ydelta);
    const double aspect = width_m > 0.0 && height_m > 0.0 ? height_m / width_m : static_cast<double>(ny) / nx;
    const double cell_aspect = h.xdelta > 0.0f && h.ydelta > 0.0f ? double(h.ydelta) / h.xdelta : 1.0;
    const int cw = static_cast<int>(std::min(640.0 / nx, 560.0 / (ny * cell_aspect)));
    if (cw >= 2) {
        mw = cw * nx;
        mh = static_cast<int>(std::lround(cw * cell_aspect)) * ny;
    } else {
        mw = 640;
        mh = static_cast<int>(std::lround(640.0 * aspect));
        if (mh > 640) {
            mw = std::max(1, static_cast<int>(std::lround(640.0 / aspect)));
            mh = 640;
        }
        mh = std::max(mh, 1);
    }
}

// The texts around the map and where the legend goes.
struct Layout {
    std::string units, title1, title2, footer;
    char range[160];
    bool any = false;                 // a cell with a value
    float top = 1.0f, step = 0.2f;    // the colour scale
    std::vector<std::string> labels;  // of the legend's steps
    int label_w = 0, legend_x = 0, legend_h = 0;
};

Layout lay_out(const R2cFile& f, const ChosenGrid& g, QuickLook& q, int mw, int mh) {
    const R2cHeader& h = f.header;
    const int nx = h.xcount, ny = h.ycount;
    Layout l;
    const bool precip = is_precipitation(f);
    l.units = precip ? "mm" : "";
    float max = 0.0f;
    for (float v : g.values)
        if (!std::isnan(v) && (!l.any || v > max)) {
            max = v;
            l.any = true;
        }
    nice_scale(max, l.top, l.step);

    l.title1 = base_name(f.path) + ": " + std::string(h.name.trimmed()) + (l.units.empty() ? "" : " (" + l.units + ")");
    l.title2 = g.description;
    if (f.frames.size() == 1 && f.source_file == "multiple_events") l.title2 += ": totals of the run";
    std::snprintf(l.range, sizeof l.range, "max %.2f %s", static_cast<double>(max), l.units.c_str());
    const double x0 = decimal(h.xorigin), y0 = decimal(h.yorigin);
    const double x1 = x0 + nx * decimal(h.xdelta), y1 = y0 + ny * decimal(h.ydelta);
    l.footer = "x " + number_text(x0) + " to " + number_text(x1) + ", y " + number_text(y0) + " to " +
               number_text(y1) + ", " + crs_summary(crs_of(h));

    for (int k = 0; k * static_cast<double>(l.step) <= l.top * 1.000001; ++k) {
        l.labels.push_back(number_text(k * static_cast<double>(l.step)));
        l.label_w = std::max(l.label_w, text_width(l.labels.back(), 2));
    }
    q.map_x = margin;
    q.map_y = margin + 2 * (glyph_height * title_scale + 8);
    q.map_w = mw;
    q.map_h = mh;
    l.legend_x = q.map_x + mw + 24;
    l.legend_h = std::max(mh, 160);
    return l;
}

// The map, pixel by pixel: north at the top, row 1 of the grid at the bottom.
void draw_map(QuickLook& q, const std::vector<float>& values, int nx, int ny, float top) {
    const int mw = q.map_w, mh = q.map_h;
    for (int py = 0; py < mh; ++py) {
        const int row = ny - 1 - static_cast<int>(static_cast<long long>(py) * ny / mh);
        for (int px = 0; px < mw; ++px) {
            const int col = static_cast<int>(static_cast<long long>(px) * nx / mw);
            const float v = values[static_cast<std::size_t>(row) * nx + col];
            q.image.set(q.map_x + px, q.map_y + py, scale_colour(v, top));
        }
    }
}

// The basin's outline: its pixels that touch a pixel outside it.
void draw_basin_outline(QuickLook& q, const BasinMask& basin, int nx, int ny) {
    const int mw = q.map_w, mh = q.map_h;
    auto inside = [&](int px, int py) {
        if (px < 0 || py < 0 || px >= mw || py >= mh) return false;
        const int row = ny - 1 - static_cast<int>(static_cast<long long>(py) * ny / mh);
        const int col = static_cast<int>(static_cast<long long>(px) * nx / mw);
        return basin.inside[static_cast<std::size_t>(row) * nx + col] != 0;
    };
    for (int py = 0; py < mh; ++py)
        for (int px = 0; px < mw; ++px)
            if (inside(px, py) &&
                (!inside(px - 1, py) || !inside(px + 1, py) || !inside(px, py - 1) || !inside(px, py + 1)))
                q.image.set(q.map_x + px, q.map_y + py, black);
}

// Gauges: a white disc with a black rim, the name beside it.
void draw_gauges(QuickLook& q, const R2cHeader& h, const std::vector<Station>& stations) {
    const double width_m = h.xcount * static_cast<double>(h.xdelta);
    const double height_m = h.ycount * static_cast<double>(h.ydelta);
    Image& im = q.image;
    for (const Station& s : stations) {
        const double fx = (s.x - h.xorigin) / width_m;
        const double fy = (s.y - h.yorigin) / height_m;
        if (!(fx >= 0.0 && fx <= 1.0 && fy >= 0.0 && fy <= 1.0)) continue;
        const int px = q.map_x + static_cast<int>(std::lround(fx * q.map_w));
        const int py = q.map_y + static_cast<int>(std::lround((1.0 - fy) * q.map_h));
        im.disc(px, py, 5, white, black);
        im.set(px, py, black);
        const std::string label = s.name.empty() ? std::to_string(s.number) : s.name;
        const int tx = px + 8, ty = py - 3;
        im.fill_rect(tx - 1, ty - 1, text_width(label) + 2, glyph_height + 2, white);
        im.text(tx, ty, label, black, 1);
        ++q.stations_drawn;
    }
}

// Legend: the colour bar from 0 (bottom) to the top of the scale.
void draw_legend(QuickLook& q, const Layout& l) {
    Image& im = q.image;
    const int bar_y = q.map_y;
    for (int y = 0; y < l.legend_h; ++y) {
        const float v = l.top * static_cast<float>(l.legend_h - 1 - y) / static_cast<float>(l.legend_h - 1);
        im.fill_rect(l.legend_x, bar_y + y, legend_w, 1, v <= 0.0f ? white : scale_colour(v, l.top));
    }
    im.frame_rect(l.legend_x - 1, bar_y - 1, legend_w + 2, l.legend_h + 2, black);
    for (std::size_t k = 0; k < l.labels.size(); ++k) {
        const float v = static_cast<float>(k) * l.step;
        const int y = bar_y + static_cast<int>(std::lround((l.legend_h - 1) * (1.0 - v / l.top)));
        im.fill_rect(l.legend_x + legend_w, y, 5, 1, black);
        im.text(l.legend_x + legend_w + 8, y - 7, l.labels[k], black, 2);
    }
    if (!l.units.empty()) im.text(l.legend_x, bar_y - glyph_height * 2 - 6, l.units, black, 2);
}

}  // namespace

QuickLook render_quicklook(const R2cFile& f, const GridChoice& choice, const std::vector<Station>& stations,
                           const BasinMask& basin) {
    QuickLook q;
    ChosenGrid g = choose_grid(f, choice);
    apply_mask(basin, g.values);
    q.description = g.description;
    const R2cHeader& h = f.header;
    const int nx = h.xcount, ny = h.ycount;
    int mw = 0, mh = 0;
    map_size(h, mw, mh);
    const Layout l = lay_out(f, g, q, mw, mh);

    int width = l.legend_x + legend_w + 8 + std::max(l.label_w, text_width(l.units, 2)) + margin;
    width = std::max({width, margin + text_width(l.title1, title_scale) + margin,
                      margin + text_width(l.title2, title_scale) + margin, margin + text_width(l.footer) + margin});
    const int height = q.map_y + std::max(mh, l.legend_h) + line2 + glyph_height + margin + 8;
    q.image = Image(width, height, white);
    Image& im = q.image;

    im.text(margin, margin, l.title1, black, title_scale);
    im.text(margin, margin + glyph_height * title_scale + 8, l.title2, black, title_scale);
    draw_map(q, g.values, nx, ny, l.top);
    if (!basin.empty()) draw_basin_outline(q, basin, nx, ny);
    im.frame_rect(q.map_x - 1, q.map_y - 1, mw + 2, mh + 2, black);
    draw_gauges(q, h, stations);
    draw_legend(q, l);

    const int foot_y = q.map_y + std::max(mh, l.legend_h) + 10;
    im.text(margin, foot_y, l.range + std::string(l.any ? "" : " (no values)") + "    " +
                                (stations.empty() ? "" : std::to_string(q.stations_drawn) + " gauges"),
            grey, 1);
    im.text(margin, foot_y + line2 - 6, l.footer, grey, 1);
    return q;
}

}  // namespace nimbex::r2ctool
