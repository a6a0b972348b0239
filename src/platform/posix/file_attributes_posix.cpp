// Windows paths on a bound drive resolve through the drive's mount point.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "base/utf.h"
#include "platform/drive_table.h"
#include "platform/file_attributes.h"
#include "platform/last_error.h"

namespace zw::platform {

namespace {

constexpr uint32_t kAttrReadOnly = 0x1;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrNormal = 0x80;
constexpr uint32_t kAttrReparsePoint = 0x400;

constexpr int64_t kUnixEpochInFiletimeSeconds = 11644473600;

uint64_t ToFiletime(int64_t seconds, int64_t nanoseconds) {
  const int64_t s = seconds + kUnixEpochInFiletimeSeconds;
  if (s < 0) return 0;  // before 1601: no FILETIME for it
  return uint64_t(s) * 10000000u + uint64_t(nanoseconds / 100);
}

// "D:\a\..\b" -> "/mnt/d/b". Like Windows, ".." stops at the root, so a path
// can never leave the drive's mount point.
bool ResolvePath(std::u16string_view windowsPath, std::string& out) {
  if (windowsPath.size() < 2 || windowsPath[1] != u':') return false;
  const std::optional<DriveBinding> binding = FindDriveBinding(windowsPath[0]);
  if (!binding || binding->mountPoint.empty()) return false;
  std::vector<std::u16string> parts;
  std::u16string part;
  auto flush = [&] {
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(part);
    }
    part.clear();
  };
  for (char16_t c : windowsPath.substr(2)) {
    if (c == u'\\' || c == u'/') {
      flush();
    } else if (c == 0) {
      return false;
    } else {
      part += c;
    }
  }
  flush();
  out = binding->mountPoint;
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  for (const std::u16string& p : parts) {
    if (out.empty() || out.back() != '/') out += '/';
    out += ToUtf8(p);
  }
  return true;
}

}  // namespace

bool GetFileAttributeData(std::u16string_view windowsPath, FileAttributeData& out) noexcept {
  try {
    std::string path;
    if (!ResolvePath(windowsPath, path)) {
      SetLastError(error::kFileNotFound);
      return false;
    }
    // The link itself, as Windows reports a symbolic link or junction.
    struct statx sx {};
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW,
                STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME | STATX_BTIME, &sx) != 0) {
      SetLastError(ErrorFromErrno(errno));
      return false;
    }
    FileAttributeData data;
    if (S_ISDIR(sx.stx_mode)) data.attributes |= kAttrDirectory;
    if (S_ISLNK(sx.stx_mode)) data.attributes |= kAttrReparsePoint;
    if ((sx.stx_mode & 0222) == 0) data.attributes |= kAttrReadOnly;
    if (data.attributes == 0) data.attributes = kAttrNormal;
    data.size = S_ISREG(sx.stx_mode) ? sx.stx_size : 0;
    data.lastWriteTime = ToFiletime(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
    // Not every file system keeps a birth time; the write time stands in.
    data.creationTime = (sx.stx_mask & STATX_BTIME)
                            ? ToFiletime(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec)
                            : data.lastWriteTime;
    out = data;
    return true;
  } catch (...) {
    SetLastError(error::kNotEnoughMemory);
    return false;
  }
}

}  // namespace zw::platform
