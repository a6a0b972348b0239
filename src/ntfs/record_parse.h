// The scan's view of ParseRecord: why a record gave no entry.
#pragma once

#include <cstdint>

#include "index/file_entry.h"
#include "ntfs/volume_reader.h"

namespace zw::ntfs {

enum class ParseOutcome { Named, Nameless, Extension, Damaged };

ParseOutcome ParseRecordOutcome(VolumeReader& reader, const uint8_t* record, FileEntry& entry);

}  // namespace zw::ntfs
