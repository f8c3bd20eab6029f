#include "platform/text.h"

namespace nimbex {

std::string_view trim_right(std::string_view s) {
    std::size_t n = s.size();
    while (n > 0 && s[n - 1] == ' ') --n;
    return s.substr(0, n);
}

std::string_view trim(std::string_view s) {
    s = trim_right(s);
    std::size_t b = 0;
    while (b < s.size() && s[b] == ' ') ++b;
    return s.substr(b);
}

std::size_t len_trim(std::string_view s) { return trim_right(s).size(); }

std::string fit(std::string_view s, std::size_t width) {
    std::string r(s.substr(0, std::min(s.size(), width)));
    r.resize(width, ' ');
    return r;
}

bool same_text(std::string_view a, std::string_view b) { return trim_right(a) == trim_right(b); }

namespace {
bool is_control(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u < 32 || u == 127;
}
}  // namespace

bool has_control(std::string_view s) {
    for (char c : s)
        if (is_control(c)) return true;
    return false;
}

std::string visible(std::string_view s) {
    if (!has_control(s)) return std::string(s);
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(s.size() + 8);
    for (char c : s) {
        if (!is_control(c)) {
            out += c;
            continue;
        }
        const unsigned char u = static_cast<unsigned char>(c);
        switch (c) {
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            default:
                out += "\\x";
                out += hex[u >> 4];
                out += hex[u & 15];
        }
    }
    return out;
}

}  // namespace nimbex
