// The system error number of the last failed platform call on this thread,
// as GetLastError gives it. Every system uses the Windows numbers, so that
// portable code, debugger lines and tests read the same everywhere: POSIX
// translates errno at the call that failed (ErrorFromErrno).
#pragma once

#include <cstdint>
#include <string>

namespace zw::platform {

uint32_t LastError() noexcept;
void SetLastError(uint32_t code) noexcept;

// A short English description of `code` (UTF-8), for terminal messages.
std::string ErrorMessage(uint32_t code);

// The Windows numbers the platform layer itself reports.
namespace error {
inline constexpr uint32_t kFileNotFound = 2;  // also: a letter with no volume
inline constexpr uint32_t kPathNotFound = 3;
inline constexpr uint32_t kAccessDenied = 5;
inline constexpr uint32_t kInvalidHandle = 6;
inline constexpr uint32_t kNotEnoughMemory = 8;
inline constexpr uint32_t kNotSupported = 50;
inline constexpr uint32_t kInvalidParameter = 87;  // also: a misaligned volume read
inline constexpr uint32_t kIoDevice = 1117;
inline constexpr uint32_t kNotFound = 1168;     // a drive bound to PATH:N with no partition N
inline constexpr uint32_t kDiskCorrupt = 1393;  // no readable partition table
// An errno value with no Windows counterpart is reported as this bit (the
// one Windows leaves to applications) plus the errno value.
inline constexpr uint32_t kErrnoFlag = 0x20000000;
}  // namespace error

// errno -> the Windows number (POSIX only; elsewhere it returns kErrnoFlag|e).
uint32_t ErrorFromErrno(int errnoValue) noexcept;

}  // namespace zw::platform
