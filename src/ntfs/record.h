// MFT record layout: the header fields, update-sequence fixups and the walk
// over a record's attributes. Shared by the scan and the drive-info code.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ntfs/ondisk.h"

namespace zw::ntfs {

inline constexpr uint32_t kFileSignature = 0x454C4946;  // "FILE"
inline constexpr uint16_t kRecordInUse = 0x0001;
inline constexpr uint16_t kRecordIsDirectory = 0x0002;

inline constexpr uint32_t kAttrStandardInformation = 0x10;
inline constexpr uint32_t kAttrAttributeList = 0x20;
inline constexpr uint32_t kAttrFileName = 0x30;
inline constexpr uint32_t kAttrVolumeName = 0x60;
inline constexpr uint32_t kAttrData = 0x80;
inline constexpr uint32_t kAttrEnd = 0xFFFFFFFF;

// The most records one attribute list may make the scan read. What a base
// record wants from its extensions is a name (NTFS allows 1024 hard links,
// a Win32 and a DOS name each) and its first data extent; the $MFT's own
// list names one record per few hundred extents. A crafted list naming
// hundreds of thousands of records must not cost as many reads per record.
inline constexpr size_t kMaxListRecords = 4096;
// Records named by one list that turn out not to be its extensions (unused,
// damaged, another file's): past this many the list is not trusted further.
inline constexpr size_t kMaxForeignListRecords = 16;

// Fixups protect the last word of every 512 bytes, whatever the sector size
// of the disk.
inline constexpr size_t kFixupStride = 512;

inline uint32_t RecordSignature(Bytes record) {
  return record.U32(0x00);
}
inline uint16_t RecordFlags(Bytes record) {
  return record.U16(0x16);
}
// The top 16 bits of every reference to this record while it holds its file.
inline uint16_t RecordSequence(Bytes record) {
  return record.U16(0x10);
}
// Non-zero for an extension record: the record number of its base record.
inline uint64_t BaseRecordOf(Bytes record) {
  return RecordOfReference(record.U64(0x20));
}

enum class FixupResult { Ok, BadHeader, Mismatch };

// Checks every protected word against the update sequence number and, only
// if all match, puts the saved words back. The record is left untouched on
// failure.
FixupResult ApplyFixups(uint8_t* record, size_t size);

// One attribute inside a record; `raw` spans exactly the length its header
// states and lies inside the record.
struct Attribute {
  Bytes raw;

  uint32_t Type() const { return raw.U32(0x00); }
  bool NonResident() const { return raw.U8(0x08) != 0; }
  uint8_t NameLength() const { return raw.U8(0x09); }
  bool Unnamed() const { return NameLength() == 0; }

  // Resident only: the value, or an empty view when its offset and length
  // reach past the attribute (a damaged record).
  Bytes Value() const;
  // Resident only: true when the value lies inside the attribute.
  bool ValueFits() const;

  // Non-resident only; 0 when the header is too short to hold them.
  bool NonResidentHeaderFits() const { return NonResident() && raw.size >= 0x40; }
  uint64_t LowestVcn() const { return NonResidentHeaderFits() ? raw.U64(0x10) : 0; }
  uint64_t RealSize() const { return NonResidentHeaderFits() ? raw.U64(0x30) : 0; }
  // The run list, from its offset to the end of the attribute; empty when the
  // offset is outside the attribute.
  Bytes RunList() const;
};

// Walks the attributes of a record from its first-attribute offset. Stops at
// the end marker, and at any length that is too small or runs past the record.
class AttributeWalker {
 public:
  explicit AttributeWalker(Bytes record);
  bool Next(Attribute& out);
  // True when the walk stopped at something other than the end marker or
  // the end of the record (a damaged record).
  bool Damaged() const { return damaged_; }

 private:
  Bytes record_;
  size_t offset_ = 0;
  bool done_ = false;
  bool damaged_ = false;
};

}  // namespace zw::ntfs
