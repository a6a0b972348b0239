// The system error number of the last failed platform call on this thread,
// as GetLastError gives it on Windows (errno values on POSIX).
#pragma once

#include <cstdint>

namespace zw::platform {

uint32_t LastError() noexcept;
void SetLastError(uint32_t code) noexcept;

}  // namespace zw::platform
