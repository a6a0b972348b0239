#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "platform/process_memory.h"

namespace zw::platform {

uint64_t PeakResidentBytes() noexcept {
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) != 0 || usage.ru_maxrss < 0) return 0;
#ifdef __APPLE__
  return uint64_t(usage.ru_maxrss);  // bytes there
#else
  return uint64_t(usage.ru_maxrss) * 1024;  // KiB on Linux
#endif
}

void ReturnFreedMemory() noexcept {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

uint64_t ResidentBytes() noexcept {
  ReturnFreedMemory();
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (f == nullptr) return 0;
  unsigned long long size = 0, resident = 0;
  const bool ok = std::fscanf(f, "%llu %llu", &size, &resident) == 2;
  std::fclose(f);
  const long page = sysconf(_SC_PAGESIZE);
  return ok && page > 0 ? uint64_t(resident) * uint64_t(page) : 0;
}

}  // namespace zw::platform
