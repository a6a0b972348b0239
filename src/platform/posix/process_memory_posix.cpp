#include <sys/resource.h>

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

}  // namespace zw::platform
