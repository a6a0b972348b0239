#include "ntfs/volume_io.h"

#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace zw::ntfs {

namespace {

ReadResult ReadExactly(platform::RawVolume& volume, uint64_t offset, uint8_t* out, size_t length) {
  while (length > 0) {
    size_t got = 0;
    if (!volume.ReadAt(offset, out, length, got) || got > length) return ReadResult::Failed;
    if (got == 0) return ReadResult::PastEnd;
    offset += got;
    out += got;
    length -= got;
  }
  return ReadResult::Ok;
}

}  // namespace

ReadResult ReadVolume(platform::RawVolume& volume, uint64_t offset, void* out, size_t length) {
  if (length == 0) return ReadResult::Ok;
  if (!volume.IsOpen() || offset > std::numeric_limits<uint64_t>::max() - length)
    return ReadResult::Failed;
  uint64_t sector = volume.SectorSize();
  if (sector == 0 || (sector & (sector - 1)) != 0) sector = 512;
  if (offset % sector == 0 && length % sector == 0)
    return ReadExactly(volume, offset, static_cast<uint8_t*>(out), length);

  const uint64_t start = offset - offset % sector;
  const uint64_t end = offset + length;
  const uint64_t tail = end % sector;
  if (tail != 0 && end > std::numeric_limits<uint64_t>::max() - (sector - tail))
    return ReadResult::Failed;
  const uint64_t alignedEnd = tail == 0 ? end : end + (sector - tail);
  const uint64_t span = alignedEnd - start;
  if (span > std::numeric_limits<size_t>::max()) return ReadResult::Failed;
  std::unique_ptr<uint8_t[]> bounce(new (std::nothrow) uint8_t[static_cast<size_t>(span)]);
  if (!bounce) return ReadResult::Failed;
  // The last sector may lie past the end of the volume only if the wanted
  // bytes do not; a short read is fine as long as they arrived.
  size_t filled = 0;
  while (filled < span) {
    size_t got = 0;
    if (!volume.ReadAt(start + filled, bounce.get() + filled, static_cast<size_t>(span - filled),
                       got))
      return ReadResult::Failed;
    if (got == 0) break;
    filled += got;
  }
  if (filled < end - start) return ReadResult::PastEnd;
  std::memcpy(out, bounce.get() + (offset - start), length);
  return ReadResult::Ok;
}

}  // namespace zw::ntfs
