#include "platform/clock.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace nimbex {

DateTime now_local() {
    DateTime d;
    if (const char* fixed = std::getenv("NIMBEX_FIXED_CLOCK")) {
        if (std::sscanf(fixed, "%d-%d-%d %d:%d", &d.year, &d.month, &d.day, &d.hour, &d.minute) == 5) return d;
    }
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    d.year = tm.tm_year + 1900;
    d.month = tm.tm_mon + 1;
    d.day = tm.tm_mday;
    d.hour = tm.tm_hour;
    d.minute = tm.tm_min;
    d.second = tm.tm_sec;
    return d;
}

}  // namespace nimbex
