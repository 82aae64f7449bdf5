// MS-DOS date-time words of zip entries, in the process's local time zone.
#pragma once

#include <cstdint>
#include <ctime>

namespace zplat {

// year = (d >> 25) + 1980, month, day, hour, minute, second * 2.
time_t DosDateToTime(uint32_t dos);
// The other way; times before 1980 give 1 January 1980.
uint32_t TimeToDosDate(time_t when);

}  // namespace zplat
