// Numbers that name entries and MFT records, the same in every layer.
#pragma once

#include <cstdint>

namespace zw {

// An entry number that names no entry.
inline constexpr uint32_t kNoEntry = 0xFFFFFFFFu;

// The low 48 bits of a file reference are the record number; the top 16 are
// the sequence number.
inline constexpr uint64_t kRecordNumberMask = (uint64_t{1} << 48) - 1;

inline constexpr uint64_t RecordOfReference(uint64_t reference) {
  return reference & kRecordNumberMask;
}

// The root folder's record; a parent chain ends there.
inline constexpr uint64_t kRootFolderRecord = 5;

}  // namespace zw
