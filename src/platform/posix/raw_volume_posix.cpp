// A drive letter's volume through the drive table: an image file, a block
// device, or one partition of either.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/drive_table.h"
#include "platform/last_error.h"
#include "platform/partition_table.h"
#include "platform/raw_volume.h"
#include "platform/sector_size.h"

namespace zw::platform {

namespace {

bool IsPowerOfTwo(uint32_t v) {
  return v != 0 && (v & (v - 1)) == 0;
}

// Reads exactly `length` bytes unless the file ends first; false only on an
// I/O error (errno kept).
bool PreadFully(int fd, uint64_t offset, void* buffer, size_t length, size_t& got) {
  got = 0;
  auto* out = static_cast<unsigned char*>(buffer);
  while (got < length) {
    const ssize_t n = ::pread(fd, out + got, length - got, off_t(offset + got));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;
    got += size_t(n);
  }
  return true;
}

// An image file does not tell its sector size, so the volume's own boot
// sector decides: an NTFS volume made for 4096-byte sectors must then be read
// in 4096-byte units, as it would be on its disk.
uint32_t ImageSectorSize(int fd, uint64_t base, uint64_t length) {
  unsigned char boot[kDefaultSectorSize];
  size_t got = 0;
  if (length < sizeof boot) return kDefaultSectorSize;
  if (!PreadFully(fd, base, boot, sizeof boot, got) || got != sizeof boot)
    return kDefaultSectorSize;
  return SectorSizeFromBootSector(boot);
}

}  // namespace

bool RawVolume::Open(char16_t letter) noexcept {
  Close();
  std::optional<DriveBinding> binding;
  try {
    binding = FindDriveBinding(letter);
  } catch (...) {
    SetLastError(error::kNotEnoughMemory);
    return false;
  }
  if (!binding) {
    SetLastError(error::kFileNotFound);  // as Windows says for a letter with no volume
    return false;
  }
  // Read-only, always: nothing here may ever write to a volume. Without
  // O_NONBLOCK a FIFO would hold the open until someone writes to it.
  const int fd = ::open(binding->source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    SetLastError(ErrorFromErrno(errno));
    return false;
  }
  auto fail = [fd](uint32_t code) {
    ::close(fd);
    SetLastError(code);
    return false;
  };

  struct stat st {};
  if (::fstat(fd, &st) != 0) return fail(ErrorFromErrno(errno));
  uint64_t diskBytes = 0;
  uint32_t deviceSector = 0;  // 0: an image file
  if (S_ISBLK(st.st_mode)) {
    if (::ioctl(fd, BLKGETSIZE64, &diskBytes) != 0) return fail(ErrorFromErrno(errno));
    int logical = 0;
    if (::ioctl(fd, BLKSSZGET, &logical) != 0) return fail(ErrorFromErrno(errno));
    deviceSector = uint32_t(logical);
    if (!IsPowerOfTwo(deviceSector)) deviceSector = kDefaultSectorSize;
  } else if (S_ISREG(st.st_mode)) {
    diskBytes = uint64_t(st.st_size);
  } else if (S_ISDIR(st.st_mode)) {
    return fail(error::kAccessDenied);
  } else {
    return fail(error::kNotSupported);
  }

  uint64_t base = 0;
  uint64_t length = diskBytes;
  if (binding->partition > 0) {
    const DiskReader reader = [fd](uint64_t offset, void* buffer, size_t size) {
      size_t got = 0;
      if (!PreadFully(fd, offset, buffer, size, got)) {
        SetLastError(ErrorFromErrno(errno));
        return false;
      }
      if (got != size) {
        SetLastError(error::kDiskCorrupt);  // the table points past the end
        return false;
      }
      return true;
    };
    PartitionExtent extent;
    if (!FindPartition(reader, diskBytes, deviceSector, binding->partition, extent)) {
      const uint32_t code = LastError();
      return fail(code != 0 ? code : error::kDiskCorrupt);
    }
    base = extent.offset;
    length = extent.length;
  }

  handle_ = fd;
  base_ = base;
  length_ = length;
  sectorSize_ = deviceSector != 0 ? deviceSector : ImageSectorSize(fd, base, length);
  return true;
}

void RawVolume::Close() noexcept {
  if (handle_ != kInvalid) ::close(int(handle_));
  Forget();
}

bool RawVolume::ReadAt(uint64_t offset, void* buffer, size_t length, size_t& bytesRead) noexcept {
  bytesRead = 0;
  if (!CanRead(offset, length)) return false;
  if (length == 0) return true;
  // The size is always known here: nothing is read past the volume's end,
  // which for a partition is also where the next one begins.
  if (offset >= length_) return true;
  const size_t wanted = size_t(std::min<uint64_t>(length, length_ - offset));
  if (offset > UINT64_MAX - base_ || base_ + offset > uint64_t(INT64_MAX)) {
    SetLastError(error::kInvalidParameter);
    return false;
  }
  size_t got = 0;
  if (!PreadFully(int(handle_), base_ + offset, buffer, wanted, got)) {
    SetLastError(ErrorFromErrno(errno));
    return false;
  }
  bytesRead = got;
  return true;
}

}  // namespace zw::platform
