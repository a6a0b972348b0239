// Size and times of a file named by a Windows path (D:\a\b.txt), as
// GetFileAttributesExW gives them.
#pragma once

#include <cstdint>
#include <string_view>

namespace zw::platform {

struct FileAttributeData {
  uint32_t attributes = 0;
  uint64_t creationTime = 0;  // FILETIME
  uint64_t lastWriteTime = 0;
  uint64_t size = 0;
};

bool GetFileAttributeData(std::u16string_view windowsPath, FileAttributeData& out) noexcept;

}  // namespace zw::platform
