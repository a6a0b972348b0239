// The scan's view of ParseRecord: why a record gave no entry.
#pragma once

#include <cstdint>

#include "ntfs/scan_record.h"
#include "ntfs/volume_reader.h"

namespace zw::ntfs {

enum class ParseOutcome { Named, Nameless, Extension, Damaged };

ParseOutcome ParseRecordOutcome(VolumeReader& reader, const uint8_t* record, ScanRecord& entry);

}  // namespace zw::ntfs
