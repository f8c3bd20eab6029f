#pragma once
// The quick-look map, drawn into an RGB image: title (file, grid, time,
// units), the grid in a colour scale with its legend, the gauges marked.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/r2ctool/commands.h"
#include "tools/r2ctool/r2c_file.h"

namespace nimbex::r2ctool {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct Image {
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels;  // RGB, rows top first
    Image(int w, int h, Rgb fill);
    Rgb get(int x, int y) const;
    void set(int x, int y, Rgb c);     // outside the image: ignored
    void fill_rect(int x, int y, int w, int h, Rgb c);
    void frame_rect(int x, int y, int w, int h, Rgb c);
    // Text at (x, y) = its top-left corner, each font pixel `scale` pixels.
    void text(int x, int y, const std::string& s, Rgb c, int scale = 1);
    void disc(int cx, int cy, int radius, Rgb fill, Rgb edge);
};

int text_width(const std::string& s, int scale = 1);

// The colour of a value on the scale 0..top (values at or below 0: white,
// above top: the last colour).
Rgb scale_colour(float v, float top);
// A round top of the colour scale at or above `max` (1, 2, 2.5 or 5 times a
// power of ten; 1 when max <= 0) and the legend step that divides it.
void nice_scale(float max, float& top, float& step);

struct QuickLook {
    Image image{1, 1, Rgb{}};
    std::string description;           // which grid it shows
    int map_x = 0, map_y = 0, map_w = 0, map_h = 0;  // the map inside the image
    int stations_drawn = 0;
};

// With a basin, cells outside it are drawn as cells without a value and the
// basin's outline is drawn in black.
QuickLook render_quicklook(const R2cFile& f, const GridChoice& choice, const std::vector<Station>& stations,
                           const BasinMask& basin = {});

}  // namespace nimbex::r2ctool
