#include "platform/local_time.h"
#include "platform/win32/win32_text.h"

namespace zw::platform {

bool ToLocalCalendarTime(uint64_t filetime, CalendarTime& out) noexcept {
  FILETIME ft;
  ft.dwLowDateTime = DWORD(filetime);
  ft.dwHighDateTime = DWORD(filetime >> 32);
  SYSTEMTIME utc;
  SYSTEMTIME local;
  if (!::FileTimeToSystemTime(&ft, &utc)) return false;
  if (!::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return false;
  out.year = local.wYear;
  out.month = local.wMonth;
  out.day = local.wDay;
  out.hour = local.wHour;
  out.minute = local.wMinute;
  out.second = local.wSecond;
  return true;
}

}  // namespace zw::platform
