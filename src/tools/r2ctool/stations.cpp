// The gauges of a station list ("precip_sta.xyz") for the quick-look map.
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tools/r2ctool/commands.h"

namespace nimbex::r2ctool {

std::vector<Station> read_stations(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error(path + ": cannot be opened");
    std::vector<Station> out;
    std::string line;
    int line_no = 0;
    while (std::getline(in, line)) {
        ++line_no;
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        std::istringstream s(line);
        Station st;
        if (!(s >> st.x >> st.y)) throw std::runtime_error(path + ", line " + std::to_string(line_no) + ": no x and y");
        s >> st.number;
        std::getline(s, st.name);
        const auto a = st.name.find_first_not_of(" \t'");
        const auto b = st.name.find_last_not_of(" \t\r'");
        st.name = a == std::string::npos ? "" : st.name.substr(a, b - a + 1);
        out.push_back(st);
    }
    return out;
}

}  // namespace nimbex::r2ctool
