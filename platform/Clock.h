// The wall clock as the mail library needs it: local date and time with the
// offset from UTC, and the time of day in UTC milliseconds.
#pragma once

#include <cstdint>

namespace platform {

struct LocalTime {
  int year, month, day, hour, minute, second;
  int weekday;           // 0 = Sunday
  int utcOffsetMinutes;  // local time minus UTC, e.g. +480 for UTC+8
};

LocalTime NowLocal();

std::uint32_t MillisecondsSinceUtcMidnight();

}  // namespace platform
