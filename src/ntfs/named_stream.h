// Finding one file by folder and name, and reading one of its named data
// streams (such as $Extend\$UsnJrnl:$J), read-only. Everything comes from
// records that may be damaged: runs outside the volume or on clusters an
// earlier run already holds are dropped and counted, never read.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "ntfs/volume_reader.h"

namespace zw::ntfs {

inline constexpr uint64_t kExtendRecord = 11;  // the $Extend folder

// The record number of the in-use file named `name` (exact, case included)
// in folder `parentRecord`, found by walking the MFT; false when none is.
[[nodiscard]] bool FindChildRecord(VolumeReader& reader, uint64_t parentRecord,
                                   std::u16string_view name, uint64_t& record);

struct StreamRead {
  bool found = false;          // the file holds a $DATA stream of that name
  uint64_t size = 0;           // its stated size in bytes
  uint64_t sparseBytes = 0;    // never written, or freed: no clusters behind them
  uint64_t missingBytes = 0;   // allocated but unreadable, or behind damaged runs
  std::vector<uint8_t> bytes;  // the allocated part, in stream order, sparse stretches left out
};

// Reads stream `streamName` of the file in `record`, following its attribute
// list into extension records. Sparse stretches are skipped, not filled:
// a change journal frees its oldest pages that way and may state a size of
// many gigabytes while holding a few megabytes.
StreamRead ReadNamedStream(VolumeReader& reader, uint64_t record, std::u16string_view streamName);

}  // namespace zw::ntfs
