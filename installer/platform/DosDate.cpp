#include "DosDate.h"

namespace zplat {

time_t DosDateToTime(uint32_t d) {
    struct tm tm = {};
    tm.tm_year = static_cast<int>((d >> 25) + 1980) - 1900;
    tm.tm_mon = static_cast<int>((d >> 21) & 0xF) - 1;
    tm.tm_mday = static_cast<int>((d >> 16) & 0x1F);
    tm.tm_hour = static_cast<int>((d >> 11) & 0x1F);
    tm.tm_min = static_cast<int>((d >> 5) & 0x3F);
    tm.tm_sec = static_cast<int>((d & 0x1F) * 2);
    tm.tm_isdst = -1;  // let the zone rules decide, as a calendar would
    return mktime(&tm);
}

uint32_t TimeToDosDate(time_t when) {
    struct tm tm = {};
    if (!localtime_r(&when, &tm) || tm.tm_year < 80) {
        return (1u << 21) | (1u << 16);
    }
    uint32_t date = (static_cast<uint32_t>(tm.tm_year - 80) << 9) |
                    (static_cast<uint32_t>(tm.tm_mon + 1) << 5) | static_cast<uint32_t>(tm.tm_mday);
    uint32_t time = (static_cast<uint32_t>(tm.tm_hour) << 11) |
                    (static_cast<uint32_t>(tm.tm_min) << 5) | static_cast<uint32_t>(tm.tm_sec / 2);
    return (date << 16) | time;
}

}  // namespace zplat
