// Reads of arbitrary byte ranges from a raw volume. A volume handle accepts
// only whole sectors at sector-aligned offsets, so unaligned requests go
// through a bounce buffer and only the wanted bytes are copied out.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/raw_volume.h"

namespace zw::ntfs {

enum class ReadResult {
  Ok,
  Failed,   // the volume refused the read or the request was impossible
  PastEnd,  // the volume ended before all bytes came
};

ReadResult ReadVolume(platform::RawVolume& volume, uint64_t offset, void* out, size_t length);

// True only when all `length` bytes at `offset` arrived.
inline bool ReadVolumeBytes(platform::RawVolume& volume, uint64_t offset, void* out,
                            size_t length) {
  return ReadVolume(volume, offset, out, length) == ReadResult::Ok;
}

}  // namespace zw::ntfs
