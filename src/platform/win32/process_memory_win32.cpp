#include <windows.h>
// psapi.h needs windows.h first.
#include <psapi.h>

#include "platform/process_memory.h"

namespace zw::platform {

uint64_t PeakResidentBytes() noexcept {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  // The K32 form lives in kernel32 from Windows 7 on: no psapi.dll needed.
  if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return uint64_t(counters.PeakWorkingSetSize);
}

// The heap gives freed pages back on its own.
void ReturnFreedMemory() noexcept {}

uint64_t ResidentBytes() noexcept {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return uint64_t(counters.WorkingSetSize);
}

}  // namespace zw::platform
