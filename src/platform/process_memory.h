// Memory figures of this process, for the command line's --stats, and
// freed memory handed back.
#pragma once

#include <cstdint>

namespace zw::platform {

// The most memory this process has held resident at once, in bytes; 0 when
// the system cannot tell.
uint64_t PeakResidentBytes() noexcept;

// The memory this process holds resident now, in bytes, after handing freed
// heap pages back to the system, so that what is kept is told apart from what
// was used on the way; 0 when the system cannot tell.
uint64_t ResidentBytes() noexcept;

// Hands pages the heap holds free back to the system, where the heap does
// not do so on its own (glibc keeps them after many small frees).
void ReturnFreedMemory() noexcept;

}  // namespace zw::platform
