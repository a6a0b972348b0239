// `count` whole records from `first` in one read, for tests of the MFT
// layout: false unless one extent holds them all and the volume gives every
// byte. The scan reads its batches through MftBatches instead.
#pragma once

#include <cstdint>
#include <limits>

#include "ntfs/volume_io.h"
#include "ntfs/volume_reader.h"

namespace zw::test {

inline bool ReadRecordRun(VolumeReader& r, uint64_t first, uint32_t count, uint8_t* buffer) {
  if (count == 0) return true;
  if (!r.handle.IsOpen()) return false;
  if (!r.layoutLoaded) static_cast<void>(r.LoadMftLayout());  // no extents: fails below
  if (r.runs.empty()) return false;
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  if (first > kMax - count) return false;
  if (const uint64_t end = first + count; r.bytesPerRecord > kMax / end) return false;
  const uint64_t start = first * r.bytesPerRecord;
  const uint64_t length = uint64_t{count} * r.bytesPerRecord;
  if (r.mftBytes != 0 && start + length > r.mftBytes) return false;
  uint64_t volumeOffset = 0, contiguous = 0;
  if (!r.LocateMftByte(start, volumeOffset, contiguous) || contiguous < length) return false;
  if (length > std::numeric_limits<size_t>::max()) return false;
  return ntfs::ReadVolumeBytes(r.handle, volumeOffset, buffer, static_cast<size_t>(length));
}

}  // namespace zw::test
