// The origination date of a message in the form of RFC 5322 section 3.3.
#include "mail/mime/DateField.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace MailVrex {
namespace {

constexpr std::array<std::string_view, 7> kDayNames = {"Sun", "Mon", "Tue", "Wed",
                                                       "Thu", "Fri", "Sat"};
constexpr std::array<std::string_view, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

std::string FormatDateField(const platform::LocalTime& time) {
  const std::string_view day = kDayNames[static_cast<std::size_t>(((time.weekday % 7) + 7) % 7)];
  const std::string_view month =
      kMonthNames[static_cast<std::size_t>(std::clamp(time.month, 1, 12) - 1)];
  // The zone is at most 99 hours 59 minutes away by the grammar's four digits.
  const int offset = std::clamp(time.utcOffsetMinutes, -5999, 5999);
  const int distance = std::abs(offset);
  char text[48];
  std::snprintf(text, sizeof text, "%.3s, %02d %.3s %04d %02d:%02d:%02d %c%02d%02d", day.data(),
                std::clamp(time.day, 1, 31), month.data(), std::clamp(time.year, 0, 9999),
                std::clamp(time.hour, 0, 23), std::clamp(time.minute, 0, 59),
                std::clamp(time.second, 0, 60), offset < 0 ? '-' : '+', distance / 60,
                distance % 60);
  return text;
}

}  // namespace MailVrex
