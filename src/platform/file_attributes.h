// Size and times of a file named by a Windows path (D:\a\b.txt), as
// GetFileAttributesExW gives them, except that a reparse point at the end of
// the path is not followed: its own figures come back, never its target's.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/win32_path.h"

namespace zw::platform {

struct FileAttributeData {
  uint32_t attributes = 0;
  uint64_t creationTime = 0;  // FILETIME
  uint64_t lastWriteTime = 0;
  uint64_t size = 0;
};

[[nodiscard]] bool GetFileAttributeData(std::u16string_view windowsPath,
                                        FileAttributeData& out) noexcept;

// For a path built from on-disk names: false, without asking, when Win32
// would take it to another file ("a." to "a"), whose figures are not this
// entry's; the caller keeps what the MFT said.
[[nodiscard]] inline bool GetEntryAttributeData(std::u16string_view path,
                                                FileAttributeData& out) noexcept {
  return !Win32AltersPath(path) && GetFileAttributeData(path, out);
}

}  // namespace zw::platform
