// The wall clock on Windows.
#include "platform/Clock.h"

#include <windows.h>

namespace platform {
namespace {

std::int64_t Ticks(const FILETIME& time) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                   time.dwLowDateTime);
}

}  // namespace

LocalTime NowLocal() {
  // One instant read once, so the local fields and the offset agree.
  FILETIME utc, local;
  GetSystemTimeAsFileTime(&utc);
  FileTimeToLocalFileTime(&utc, &local);
  SYSTEMTIME fields;
  FileTimeToSystemTime(&local, &fields);
  constexpr std::int64_t kTicksPerMinute = 600000000;
  std::int64_t difference = Ticks(local) - Ticks(utc);
  // Round to the nearest minute, away from zero for negative offsets too.
  std::int64_t half = difference >= 0 ? kTicksPerMinute / 2 : -kTicksPerMinute / 2;
  return LocalTime{fields.wYear,      fields.wMonth,
                   fields.wDay,       fields.wHour,
                   fields.wMinute,    fields.wSecond,
                   fields.wDayOfWeek, static_cast<int>((difference + half) / kTicksPerMinute)};
}

std::uint32_t MillisecondsSinceUtcMidnight() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  return ((now.wHour * 60u + now.wMinute) * 60u + now.wSecond) * 1000u + now.wMilliseconds;
}

}  // namespace platform
