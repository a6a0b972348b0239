// System error numbers as Windows numbers them, which every system reports
// (see last_error.h), so that debugger lines and tests read the same under
// Wine, on Windows and on POSIX. One list for the registry and the journal,
// so that a file may use both.
#pragma once

#include <cstdint>

namespace zw::platform {

inline constexpr uint32_t kErrorSuccess = 0;
inline constexpr uint32_t kErrorInvalidFunction = 1;
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorInvalidHandle = 6;
inline constexpr uint32_t kErrorInvalidData = 13;
inline constexpr uint32_t kErrorWriteFault = 29;
inline constexpr uint32_t kErrorNotSupported = 50;
inline constexpr uint32_t kErrorInvalidParameter = 87;
inline constexpr uint32_t kErrorMoreData = 234;
inline constexpr uint32_t kErrorOperationAborted = 995;
inline constexpr uint32_t kErrorJournalDeleteInProgress = 1178;
inline constexpr uint32_t kErrorJournalNotActive = 1179;
inline constexpr uint32_t kErrorJournalEntryDeleted = 1181;
inline constexpr uint32_t kErrorUnsupportedType = 1630;

}  // namespace zw::platform
