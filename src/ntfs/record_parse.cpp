// ParseRecord, ReadAttributeList and ReadNonResident: one record's attributes
// into a ScanRecord.
#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_set>

#include "ntfs/mft_scan.h"
#include "ntfs/ondisk.h"
#include "ntfs/record.h"
#include "ntfs/record_parse.h"
#include "ntfs/run_list.h"
#include "ntfs/volume_io.h"

namespace zw {

using ntfs::Attribute;
using ntfs::AttributeWalker;
using ntfs::Bytes;

namespace {

constexpr size_t kStandardInformationMin = 48;
constexpr size_t kFileNameMin = 66;
constexpr size_t kListEntryMin = 26;
constexpr uint64_t kMaxNonResident = 16u * 1024 * 1024;

// Which kind of name the entry holds. A long name (Win32, or POSIX) always
// beats a DOS 8.3 alias, wherever in the record or its extensions it sits.
enum class NameRank { None, Dos, Posix, Win32 };

NameRank RankOfNamespace(uint8_t ns) {
  if (ns == 1 || ns == 3) return NameRank::Win32;
  if (ns == 2) return NameRank::Dos;
  return NameRank::Posix;
}

// Takes a $FILE_NAME value if its kind outranks the current name. Within a
// base record the last Win32 name wins (`replaceEqualWin32`); through an
// attribute list the first one does.
bool TakeFileName(Bytes value, ScanRecord& entry, NameRank& rank, bool replaceEqualWin32) {
  if (value.size < kFileNameMin) return false;
  const NameRank candidate = RankOfNamespace(value.U8(0x41));
  const bool take = candidate == NameRank::Win32 ? (rank != NameRank::Win32 || replaceEqualWin32)
                                                 : candidate > rank;
  if (!take) return false;
  const size_t units = value.U8(0x40);
  // A name that does not fit its value is damaged; its parent is not trusted
  // either, or a good name would end up under a wrong folder.
  if (kFileNameMin + 2 * units > value.size || units == 0) return false;
  entry.parentRecordNumber = RecordOfReference(value.U64(0x00));
  entry.name.resize(units);
  ntfs::CopyUtf16(value.data + kFileNameMin, units, entry.name.data());
  const int64_t realSize = static_cast<int64_t>(value.U64(0x30));
  if (!entry.isFolder && realSize > 0) entry.size = static_cast<uint64_t>(realSize);
  rank = candidate;
  return true;
}

// The size an unnamed $DATA gives; false when the attribute holds none we
// can trust (a later extent, or a damaged resident value).
bool SizeOfData(const Attribute& attr, uint64_t& size) {
  if (attr.NonResident()) {
    if (!attr.NonResidentHeaderFits() || attr.LowestVcn() != 0) return false;
    size = attr.RealSize();
    return true;
  }
  if (!attr.ValueFits()) return false;
  size = attr.Value().size;
  return true;
}

bool WalkAttributeList(VolumeReader& reader, Bytes list, uint64_t baseRecord, ScanRecord& entry,
                       NameRank& rank) {
  if (list.data == nullptr || list.size < kListEntryMin) return false;
  bool sized = entry.size != 0;
  bool found = false;
  std::vector<uint8_t> holderBuffer;
  // Each record is read once, however often the list names it: a record's
  // name and size are all taken the first time.
  std::unordered_set<uint64_t> visited;
  size_t foreign = 0;
  for (size_t p = 0; list.Fits(p, kListEntryMin);) {
    const uint16_t length = list.U16(p + 4);
    if (length == 0) break;
    if (length < kListEntryMin) {
      p += 8;
      continue;
    }
    if (!list.Fits(p, length)) break;
    const uint32_t type = list.U32(p);
    const bool wantName = type == ntfs::kAttrFileName && rank != NameRank::Win32;
    const bool wantSize =
        type == ntfs::kAttrData && !sized && !entry.isFolder && list.U64(p + 8) == 0;
    const uint64_t holder = RecordOfReference(list.U64(p + 0x10));
    p += length;
    if (!wantName && !wantSize) continue;
    if (holder == 0 || (holder == baseRecord && type != ntfs::kAttrData)) continue;
    if (visited.count(holder) != 0) continue;
    if (visited.size() >= ntfs::kMaxListRecords) break;
    visited.insert(holder);

    holderBuffer.resize(reader.bytesPerRecord);
    if (reader.ReadRecordChecked(holder, holderBuffer.data()) != RecordStatus::Ok) {
      if (++foreign >= ntfs::kMaxForeignListRecords) break;
      continue;
    }
    Bytes h{holderBuffer.data(), holderBuffer.size()};
    // A stale list may point at a record that now belongs to another file.
    if (!(ntfs::RecordFlags(h) & ntfs::kRecordInUse) ||
        (holder != baseRecord && ntfs::BaseRecordOf(h) != baseRecord)) {
      if (++foreign >= ntfs::kMaxForeignListRecords) break;
      continue;
    }

    AttributeWalker walker(h);
    Attribute attr;
    while (walker.Next(attr)) {
      const uint32_t t = attr.Type();
      if (t == ntfs::kAttrFileName && !attr.NonResident() && rank != NameRank::Win32) {
        if (TakeFileName(attr.Value(), entry, rank, false)) found = true;
      } else if (t == ntfs::kAttrData && attr.Unnamed() && !sized && !entry.isFolder) {
        uint64_t size = 0;
        if (SizeOfData(attr, size)) {
          entry.size = size;
          sized = size != 0;
        }
      }
    }
    if (rank == NameRank::Win32 && sized) break;
  }
  return found;
}

}  // namespace

bool ReadNonResident(VolumeReader& reader, const uint8_t* attribute, size_t attributeLength,
                     std::vector<uint8_t>& out) {
  if (attribute == nullptr) return false;
  Bytes raw{attribute, attributeLength};
  // The header's own length bounds the run list, not only the caller's.
  const uint32_t statedLength = raw.U32(0x04);
  if (statedLength < raw.size) raw.size = statedLength;
  Attribute attr{raw};
  if (!attr.NonResidentHeaderFits() || attr.LowestVcn() != 0) return false;
  const uint64_t total = attr.RealSize();
  if (total == 0 || total > kMaxNonResident) return false;
  const uint64_t cluster = reader.bytesPerCluster;
  // A damaged size must not cost a 16 MiB buffer when the runs could never
  // fill it.
  uint64_t covered = 0;
  ntfs::RunListDecoder probe(attr.RunList());
  ntfs::DataRun run;
  while (covered < total && probe.Next(run)) {
    const uint64_t left = total - covered;
    const uint64_t bytes = run.length >= left / cluster + 1 ? left : run.length * cluster;
    // Clusters past the end of the volume cannot be read either.
    if (!run.sparse && reader.volumeBytes != 0 &&
        (run.lcn > reader.volumeBytes / cluster || bytes > reader.volumeBytes - run.lcn * cluster))
      return false;
    covered += bytes;
  }
  if (covered < total) return false;
  out.assign(static_cast<size_t>(total), 0);

  ntfs::RunListDecoder decoder(attr.RunList());
  uint64_t filled = 0;
  while (filled < total && decoder.Next(run)) {
    const uint64_t left = total - filled;
    const uint64_t clustersLeft = (left + cluster - 1) / cluster;  // small: left <= 16 MiB
    const uint64_t want = run.length >= clustersLeft ? left : run.length * cluster;
    if (!run.sparse) {
      if (run.lcn > std::numeric_limits<uint64_t>::max() / cluster) return false;
      if (!ntfs::ReadVolumeBytes(reader.handle, run.lcn * cluster, out.data() + filled,
                                 static_cast<size_t>(want)))
        return false;
    }
    filled += want;
  }
  return filled == total;
}

bool ReadAttributeList(VolumeReader& reader, const uint8_t* list, size_t length,
                       uint64_t baseRecord, ScanRecord& entry) {
  NameRank rank = entry.name.empty() ? NameRank::None : NameRank::Dos;
  return WalkAttributeList(reader, Bytes{list, length}, baseRecord, entry, rank);
}

namespace ntfs {

ParseOutcome ParseRecordOutcome(VolumeReader& reader, const uint8_t* record, ScanRecord& entry) {
  Bytes rec{record, reader.bytesPerRecord};
  if (ntfs::RecordSignature(rec) != ntfs::kFileSignature) return ParseOutcome::Damaged;
  // Extension records belong to their base record, which reaches them through
  // its attribute list; on their own they would list a file twice.
  if (ntfs::BaseRecordOf(rec) != 0) return ParseOutcome::Extension;

  NameRank rank = NameRank::None;
  Bytes list;
  std::vector<uint8_t> listBuffer;
  AttributeWalker walker(rec);
  Attribute attr;
  while (walker.Next(attr)) {
    switch (attr.Type()) {
      case ntfs::kAttrStandardInformation: {
        Bytes value = attr.Value();
        if (value.size >= kStandardInformationMin) {
          entry.creationTime = value.U64(0x00);
          entry.modificationTime = value.U64(0x08);
          entry.attributes = value.U32(0x20);
        }
        break;
      }
      case ntfs::kAttrAttributeList:
        if (list.data != nullptr) break;
        if (!attr.NonResident()) {
          list = attr.Value();
        } else if (ReadNonResident(reader, attr.raw.data, attr.raw.size, listBuffer)) {
          list = Bytes{listBuffer.data(), listBuffer.size()};
        }
        break;
      case ntfs::kAttrFileName:
        if (!attr.NonResident()) TakeFileName(attr.Value(), entry, rank, true);
        break;
      case ntfs::kAttrData:
        if (!entry.isFolder && attr.Unnamed()) {
          uint64_t size = 0;
          if (SizeOfData(attr, size)) entry.size = size;
        }
        break;
      default:
        break;
    }
  }
  if (walker.Damaged()) return ParseOutcome::Damaged;
  if (list.data != nullptr &&
      (rank == NameRank::None || rank == NameRank::Dos || (!entry.isFolder && entry.size == 0)))
    WalkAttributeList(reader, list, entry.recordNumber, entry, rank);
  return entry.name.empty() ? ParseOutcome::Nameless : ParseOutcome::Named;
}

}  // namespace ntfs

bool ParseRecord(VolumeReader& reader, const uint8_t* record, ScanRecord& entry) {
  return ntfs::ParseRecordOutcome(reader, record, entry) == ntfs::ParseOutcome::Named;
}

}  // namespace zw
