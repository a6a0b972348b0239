#include <ctime>

#include "platform/local_time.h"

namespace zw::platform {

bool ToLocalCalendarTime(uint64_t filetime, CalendarTime& out) noexcept {
  // FILETIME counts 100 ns steps from 1601; time_t counts seconds from 1970.
  constexpr int64_t kEpochDelta = 11644473600;
  if (filetime >= 0x8000000000000000ull) return false;  // FileTimeToSystemTime refuses these too
  const std::time_t t = static_cast<std::time_t>(int64_t(filetime / 10000000ull) - kEpochDelta);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return false;
  out.year = local.tm_year + 1900;
  out.month = local.tm_mon + 1;
  out.day = local.tm_mday;
  out.hour = local.tm_hour;
  out.minute = local.tm_min;
  out.second = local.tm_sec;
  return true;
}

}  // namespace zw::platform
