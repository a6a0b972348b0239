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
    // GetFileAttributesExW would follow a link planted at the end of the
    // path. Opening for attributes only touches no data and conflicts with
    // no other opener.
    const UniqueHandle file(::CreateFileW(
        AsWide(path.c_str()), FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.Valid()) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.Get(), &info)) return false;
    out.attributes = info.dwFileAttributes;
    out.creationTime = ToU64(info.ftCreationTime);
    out.lastWriteTime = ToU64(info.ftLastWriteTime);
    out.size = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                   ? 0
                   : (uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    return true;
  } catch (...) {
    SetLastError(error::kNotEnoughMemory);
    return false;
  }
}

}  // namespace zw::platform
