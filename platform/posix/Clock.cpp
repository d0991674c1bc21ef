// The wall clock on POSIX systems.
#include "platform/Clock.h"

#include <ctime>

namespace platform {

LocalTime NowLocal() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return LocalTime{local.tm_year + 1900, local.tm_mon + 1,
                   local.tm_mday,        local.tm_hour,
                   local.tm_min,         local.tm_sec,
                   local.tm_wday,        static_cast<int>(local.tm_gmtoff / 60)};
}

std::uint32_t MillisecondsSinceUtcMidnight() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  auto seconds = static_cast<std::uint32_t>(now.tv_sec % 86400);
  return seconds * 1000 + static_cast<std::uint32_t>(now.tv_nsec / 1000000);
}

}  // namespace platform
