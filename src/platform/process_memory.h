// Memory figures of this process, for the command line's --stats.
#pragma once

#include <cstdint>

namespace zw::platform {

// The most memory this process has held resident at once, in bytes; 0 when
// the system cannot tell.
uint64_t PeakResidentBytes() noexcept;

}  // namespace zw::platform
