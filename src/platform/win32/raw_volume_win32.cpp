// A drive letter's volume as Windows opens it: \\.\D:, read-only. Reads
// carry their own offset (OVERLAPPED), so no file position is shared.
#include "platform/win32/win32_text.h"  // <windows.h> first

#include <winioctl.h>

#include <algorithm>

#include "base/ascii.h"
#include "platform/last_error.h"
#include "platform/raw_volume.h"
#include "platform/sector_size.h"

namespace zw::platform {

namespace {

HANDLE AsHandle(intptr_t h) {
  return reinterpret_cast<HANDLE>(h);
}

// ReadFile takes a 32-bit length; larger reads go in sector-aligned pieces.
constexpr DWORD kMaxPiece = 1u << 30;

bool ReadPiece(HANDLE h, uint64_t offset, void* buffer, DWORD length, DWORD& got) {
  OVERLAPPED at{};
  at.Offset = DWORD(offset);
  at.OffsetHigh = DWORD(offset >> 32);
  got = 0;
  if (::ReadFile(h, buffer, length, &got, &at)) return true;
  // The end of the volume, not an error.
  return ::GetLastError() == ERROR_HANDLE_EOF;
}

// The device's own sector size; a volume that does not answer (Wine's image
// drives) is judged by its boot sector, as image files are on POSIX.
uint32_t QuerySectorSize(HANDLE h) {
  DISK_GEOMETRY geometry{};
  DWORD returned = 0;
  if (::DeviceIoControl(h, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof geometry,
                        &returned, nullptr) &&
      geometry.BytesPerSector >= 512 && geometry.BytesPerSector <= 65536 &&
      (geometry.BytesPerSector & (geometry.BytesPerSector - 1)) == 0)
    return geometry.BytesPerSector;
  alignas(8) unsigned char boot[kDefaultSectorSize];
  DWORD got = 0;
  if (ReadPiece(h, 0, boot, sizeof boot, got) && got == sizeof boot)
    return SectorSizeFromBootSector(boot);
  return kDefaultSectorSize;
}

uint64_t QueryLength(HANDLE h) {
  GET_LENGTH_INFORMATION info{};
  DWORD returned = 0;
  if (::DeviceIoControl(h, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &info, sizeof info, &returned,
                        nullptr) &&
      info.Length.QuadPart > 0)
    return uint64_t(info.Length.QuadPart);
  return 0;  // unknown: the device reports its end itself
}

}  // namespace

bool RawVolume::Open(char16_t letter) noexcept {
  Close();
  letter = UpperAscii(letter);
  if (letter < u'A' || letter > u'Z') {
    SetLastError(error::kFileNotFound);
    return false;
  }
  const char16_t path[] = {u'\\', u'\\', u'.', u'\\', letter, u':', 0};
  // GENERIC_READ only: nothing here may ever write to a volume.
  UniqueHandle h(::CreateFileW(AsWide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr));
  if (!h.Valid()) return false;  // GetLastError already says why
  sectorSize_ = QuerySectorSize(h.Get());
  length_ = QueryLength(h.Get());
  base_ = 0;
  handle_ = reinterpret_cast<intptr_t>(h.Release());
  ::SetLastError(0);
  return true;
}

void RawVolume::Close() noexcept {
  if (handle_ != kInvalid) ::CloseHandle(AsHandle(handle_));
  Forget();
}

bool RawVolume::ReadAt(uint64_t offset, void* buffer, size_t length, size_t& bytesRead) noexcept {
  bytesRead = 0;
  if (!CanRead(offset, length)) return false;
  if (length_ != 0) {
    if (offset >= length_) return true;
    length = size_t(std::min<uint64_t>(length, length_ - offset));
  }
  auto* out = static_cast<unsigned char*>(buffer);
  const DWORD piece = kMaxPiece - kMaxPiece % sectorSize_;
  size_t done = 0;
  while (done < length) {
    const DWORD want = DWORD(std::min<size_t>(length - done, piece));
    DWORD got = 0;
    if (!ReadPiece(AsHandle(handle_), offset + done, out + done, want, got)) {
      bytesRead = 0;
      return false;
    }
    done += got;
    if (got < want) break;  // the end of the volume
  }
  bytesRead = done;
  return true;
}

}  // namespace zw::platform
