#include <string>

#include "platform/file_attributes.h"
#include "platform/last_error.h"
#include "platform/win32/win32_text.h"

namespace zw::platform {

namespace {
uint64_t ToU64(const FILETIME& t) {
  return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}
}  // namespace

bool GetFileAttributeData(std::u16string_view windowsPath, FileAttributeData& out) noexcept {
  try {
    if (windowsPath.find(u'\0') != std::u16string_view::npos) {
      SetLastError(error::kInvalidParameter);
      return false;
    }
    const std::u16string path(windowsPath);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(AsWide(path.c_str()), GetFileExInfoStandard, &data)) return false;
    out.attributes = data.dwFileAttributes;
    out.creationTime = ToU64(data.ftCreationTime);
    out.lastWriteTime = ToU64(data.ftLastWriteTime);
    out.size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
  } catch (...) {
    SetLastError(error::kNotEnoughMemory);
    return false;
  }
}

}  // namespace zw::platform
