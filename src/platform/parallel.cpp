#include "platform/parallel.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace nimbex {

int thread_count_from_environment() {
    if (const char* s = std::getenv("NIMBEX_THREADS")) {
        int n = 0;
        auto [p, ec] = std::from_chars(s, s + std::strlen(s), n);
        if (ec == std::errc() && n >= 1) return std::min(n, 256);
    }
    const unsigned hw = std::thread::hardware_concurrency();
    return hw == 0 ? 1 : static_cast<int>(std::min(hw, 256u));
}

}  // namespace nimbex
