#include "ntfs/volume_io.h"

#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace zw::ntfs {

namespace {

bool ReadExactly(platform::RawVolume& volume, uint64_t offset, uint8_t* out, size_t length) {
  while (length > 0) {
    size_t got = 0;
    if (!volume.ReadAt(offset, out, length, got) || got == 0 || got > length) return false;
    offset += got;
    out += got;
    length -= got;
  }
  return true;
}

}  // namespace

bool ReadVolumeBytes(platform::RawVolume& volume, uint64_t offset, void* out, size_t length) {
  if (length == 0) return true;
  if (!volume.IsOpen() || offset > std::numeric_limits<uint64_t>::max() - length) return false;
  uint64_t sector = volume.SectorSize();
  if (sector == 0 || (sector & (sector - 1)) != 0) sector = 512;
  if (offset % sector == 0 && length % sector == 0)
    return ReadExactly(volume, offset, static_cast<uint8_t*>(out), length);

  const uint64_t start = offset - offset % sector;
  const uint64_t end = offset + length;
  const uint64_t tail = end % sector;
  if (tail != 0 && end > std::numeric_limits<uint64_t>::max() - (sector - tail)) return false;
  const uint64_t alignedEnd = tail == 0 ? end : end + (sector - tail);
  const uint64_t span = alignedEnd - start;
  if (span > std::numeric_limits<size_t>::max()) return false;
  std::unique_ptr<uint8_t[]> bounce(new (std::nothrow) uint8_t[static_cast<size_t>(span)]);
  if (!bounce) return false;
  // The last sector may lie past the end of the volume only if the wanted
  // bytes do not; a short read is fine as long as they arrived.
  size_t filled = 0;
  while (filled < span) {
    size_t got = 0;
    if (!volume.ReadAt(start + filled, bounce.get() + filled, static_cast<size_t>(span - filled),
                       got) ||
        got == 0)
      break;
    filled += got;
  }
  if (filled < end - start) return false;
  std::memcpy(out, bounce.get() + (offset - start), length);
  return true;
}

}  // namespace zw::ntfs
