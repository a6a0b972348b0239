// A FILETIME (UTC) as a calendar date and time in the current time zone, the
// way FileTimeToSystemTime and SystemTimeToTzSpecificLocalTime give it.
#pragma once

#include <cstdint>

namespace zw::platform {

struct CalendarTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// False when the time cannot be converted (out of the system's range).
[[nodiscard]] bool ToLocalCalendarTime(uint64_t filetime, CalendarTime& out) noexcept;

}  // namespace zw::platform
