// Hours as the gauge tables and event files count them: calendar hours from
// 1970-01-01 00:00 in the proleptic Gregorian calendar, and their texts.
#include <cstdio>

#include "tools/nimbex-prep/prep.h"

namespace nimbex::prep {

// Days from 1970-01-01 (proleptic Gregorian).
long days_from_civil(int y, int m, int d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

Civil civil_from_hours(long hours) {
    long z = (hours >= 0 ? hours : hours - 23) / 24;
    const int h = static_cast<int>(hours - z * 24);
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {static_cast<int>(yoe + era * 400 + (m <= 2)), m, d, h};
}

// "YYYY-MM-DD HH:MM" (a "T" or a "/" form and ":00" seconds are taken too) to
// hours from 1970-01-01 00:00; false if it is not such a stamp on the hour.
bool parse_time(const std::string& s, long& hours) {
    int y, mo, d, h, mi, sec = 0;
    char c1, c2, sep, c3;
    std::string t = s;
    for (char& c : t)
        if (c == 'T') c = ' ';
    int n = std::sscanf(t.c_str(), "%d%c%d%c%d%c%d:%d:%d", &y, &c1, &mo, &c2, &d, &sep, &h, &mi, &sec);
    (void)c3;
    if (n < 8 || c1 != c2 || (c1 != '-' && c1 != '/') || sep != ' ') return false;
    // 24:00 is the end of the day, as some networks stamp their last hour.
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 24 || mi != 0 || sec != 0) return false;
    if (civil_from_hours(days_from_civil(y, mo, d) * 24).d != d) return false;  // 31 April and the like
    hours = days_from_civil(y, mo, d) * 24 + h;
    return true;
}

std::string stamp(long hours, bool tb0) {
    const Civil c = civil_from_hours(hours);
    char buf[40];
    if (tb0)
        std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:00:00.000", c.y, c.m, c.d, c.h);
    else
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:00", c.y, c.m, c.d, c.h);
    return buf;
}

}  // namespace nimbex::prep
