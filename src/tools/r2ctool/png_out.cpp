// png: the quick-look map of a grid written as a PNG file.
#include <png.h>

#include <cstring>
#include <stdexcept>

#include "tools/r2ctool/commands.h"
#include "tools/r2ctool/quicklook.h"

namespace nimbex::r2ctool {

std::string write_png(const R2cFile& f, const GridChoice& choice, const std::vector<Station>& stations,
                      const std::string& out_path, const BasinMask& basin) {
    const QuickLook q = render_quicklook(f, choice, stations, basin);
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = static_cast<png_uint_32>(q.image.width);
    img.height = static_cast<png_uint_32>(q.image.height);
    img.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&img, out_path.c_str(), 0, q.image.pixels.data(), 0, nullptr)) {
        const std::string why = img.message;
        png_image_free(&img);
        throw std::runtime_error(out_path + ": PNG not written: " + why);
    }
    std::string what = q.description;
    if (!stations.empty())
        what += ", " + std::to_string(q.stations_drawn) + " of " + std::to_string(stations.size()) + " gauges on the map";
    return what;
}

}  // namespace nimbex::r2ctool
