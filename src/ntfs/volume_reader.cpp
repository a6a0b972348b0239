#include "ntfs/volume_reader.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <map>

#include "ntfs/boot_sector.h"
#include "ntfs/mft_scan.h"
#include "ntfs/ondisk.h"
#include "ntfs/record.h"
#include "ntfs/run_list.h"
#include "ntfs/volume_io.h"
#include "platform/last_error.h"

namespace zw {

using ntfs::Bytes;

namespace {

constexpr uint64_t kU64Max = std::numeric_limits<uint64_t>::max();

bool MulOverflows(uint64_t a, uint64_t b) {
  return a != 0 && b > kU64Max / a;
}

OpenStatus StatusOfOpenError(uint32_t error) {
  namespace e = platform::error;
  // ERROR_INVALID_DRIVE and ERROR_NOT_READY (no medium) also mean no volume.
  if (error == e::kFileNotFound || error == e::kPathNotFound || error == e::kNotFound ||
      error == 15 || error == 21)
    return OpenStatus::Missing;
  return OpenStatus::Unreadable;
}

// The clusters the MFT's extents hold so far, by first cluster. A crafted
// run list can map one stretch of disk under many VCNs (every record read
// many times over) or point past the volume: such an extent is damage and is
// dropped, the others are still read.
class ExtentGuard {
 public:
  ExtentGuard(uint64_t volumeBytes, uint32_t bytesPerCluster)
      : clusters_(volumeBytes == 0 ? 0 : (volumeBytes - 1) / bytesPerCluster + 1) {}

  bool Accept(const ntfs::DataRun& run) {
    if (clusters_ != 0 && (run.lcn >= clusters_ || run.length > clusters_ - run.lcn)) return false;
    const uint64_t end = run.lcn + run.length;  // the decoder keeps this below 2^63
    auto next = taken_.lower_bound(run.lcn);
    if (next != taken_.end() && next->first < end) return false;
    if (next != taken_.begin() && std::prev(next)->second > run.lcn) return false;
    taken_.emplace_hint(next, run.lcn, end);
    return true;
  }

 private:
  uint64_t clusters_;
  std::map<uint64_t, uint64_t> taken_;  // first cluster -> one past the last
};

// Appends the non-sparse runs of one $DATA extent that the guard accepts,
// counting the others; false if none came.
bool AppendRuns(Bytes list, uint64_t firstVcn, ExtentGuard& guard, std::vector<MftRun>& runs,
                uint64_t& damaged) {
  ntfs::RunListDecoder decoder(list, firstVcn);
  ntfs::DataRun run;
  bool any = false;
  while (decoder.Next(run)) {
    if (run.sparse) continue;
    if (!guard.Accept(run)) {
      ++damaged;
      continue;
    }
    runs.push_back({run.vcn, run.lcn, run.length});
    any = true;
  }
  return any;
}

}  // namespace

bool VolumeReader::Open(char16_t letter) {
  Close();
  mftBytes = 0;
  volumeBytes = 0;
  deviceBytes = 0;
  openStatus = OpenStatus::Ok;
  if (!handle.Open(letter)) {
    openStatus = StatusOfOpenError(platform::LastError());
    return false;
  }
  drive = letter;
  // The volume may refuse anything below its own sector size.
  const size_t readSize = std::max<size_t>(ntfs::kBootSectorSize, handle.SectorSize());
  std::vector<uint8_t> boot(readSize);
  ntfs::BootSector geometry;
  ntfs::BootSectorStatus status = ntfs::BootSectorStatus::NotNtfs;
  if (!ntfs::ReadVolumeBytes(handle, 0, boot.data(), ntfs::kBootSectorSize)) {
    openStatus = OpenStatus::Unreadable;
  } else {
    status = ntfs::ParseBootSector(boot.data(), boot.size(), geometry);
    if (status == ntfs::BootSectorStatus::NotNtfs) openStatus = OpenStatus::NotNtfs;
    if (status == ntfs::BootSectorStatus::Damaged) openStatus = OpenStatus::DamagedBootSector;
  }
  if (openStatus != OpenStatus::Ok) {
    Close();
    return false;
  }
  bytesPerSector = geometry.bytesPerSector;
  bytesPerCluster = geometry.bytesPerCluster;
  bytesPerRecord = geometry.bytesPerRecord;
  mftStartCluster = geometry.mftStartCluster;
  volumeBytes = MulOverflows(geometry.totalSectors, bytesPerSector)
                    ? 0
                    : geometry.totalSectors * bytesPerSector;
  deviceBytes = handle.Length();
  return true;
}

void VolumeReader::Close() {
  handle.Close();
  drive = 0;
  runs.clear();
  runs.shrink_to_fit();
  layoutLoaded = false;
  mftBytes = 0;
  damagedExtents = 0;
}

bool VolumeReader::LoadMftLayout() {
  if (layoutLoaded) return true;
  if (!handle.IsOpen() || MulOverflows(mftStartCluster, bytesPerCluster)) return false;
  std::vector<uint8_t> record(bytesPerRecord);
  if (!ntfs::ReadVolumeBytes(handle, mftStartCluster * bytesPerCluster, record.data(),
                             record.size()))
    return false;
  Bytes rec{record.data(), record.size()};
  if (ntfs::RecordSignature(rec) != ntfs::kFileSignature) return false;
  if (ntfs::ApplyFixups(record.data(), record.size()) != ntfs::FixupResult::Ok) return false;

  std::vector<MftRun> decoded;
  ExtentGuard guard(volumeBytes, bytesPerCluster);
  damagedExtents = 0;
  uint64_t realSize = 0;
  std::vector<uint8_t> list;
  bool haveList = false;
  ntfs::AttributeWalker walker(rec);
  ntfs::Attribute attr;
  while (walker.Next(attr)) {
    const uint32_t type = attr.Type();
    if (type == ntfs::kAttrAttributeList && !haveList) {
      if (!attr.NonResident()) {
        Bytes value = attr.Value();
        list.assign(value.data, value.data + value.size);
        haveList = !value.Empty();
      } else {
        // Reading it needs only the boot geometry, not the MFT's extents.
        haveList = ReadNonResident(*this, attr.raw.data, attr.raw.size, list);
      }
    } else if (type == ntfs::kAttrData && decoded.empty() && attr.NonResidentHeaderFits() &&
               attr.Unnamed() && attr.LowestVcn() == 0) {
      if (AppendRuns(attr.RunList(), 0, guard, decoded, damagedExtents)) realSize = attr.RealSize();
    }
  }
  if (decoded.empty()) return false;
  runs = std::move(decoded);
  mftBytes = realSize;
  layoutLoaded = true;

  // A badly fragmented MFT keeps further $DATA extents in other records,
  // named by record 0's attribute list. Those records lie in the part of the
  // MFT already known, so they can be read with the extents found so far.
  if (haveList) {
    struct Extension {
      uint64_t vcn;
      uint64_t holder;
    };
    std::vector<Extension> extensions;
    Bytes lb{list.data(), list.size()};
    for (size_t p = 0; lb.Fits(p, 26);) {
      const uint16_t length = lb.U16(p + 4);
      if (length == 0 || !lb.Fits(p, length)) break;
      if (length >= 26 && lb.U32(p) == ntfs::kAttrData && lb.U8(p + 6) == 0) {
        const uint64_t vcn = lb.U64(p + 8);
        const uint64_t holder = RecordOfReference(lb.U64(p + 0x10));
        if (vcn != 0 && holder != 0) extensions.push_back({vcn, holder});
      }
      p += length < 26 ? 8 : length;
    }
    std::sort(extensions.begin(), extensions.end(),
              [](const Extension& a, const Extension& b) { return a.vcn < b.vcn; });
    if (extensions.size() > ntfs::kMaxListRecords) extensions.resize(ntfs::kMaxListRecords);
    for (const Extension& ext : extensions) {
      uint64_t nextVcn = runs.back().startVcn + runs.back().clusterCount;
      if (ext.vcn < nextVcn) continue;  // overlaps what is known: damaged
      if (ReadRecordChecked(ext.holder, record.data()) != RecordStatus::Ok) continue;
      Bytes holder{record.data(), record.size()};
      if (!(ntfs::RecordFlags(holder) & ntfs::kRecordInUse) || ntfs::BaseRecordOf(holder) != 0)
        continue;
      ntfs::AttributeWalker hw(holder);
      while (hw.Next(attr)) {
        if (attr.Type() == ntfs::kAttrData && attr.NonResidentHeaderFits() && attr.Unnamed() &&
            attr.LowestVcn() == ext.vcn) {
          AppendRuns(attr.RunList(), ext.vcn, guard, runs, damagedExtents);
          break;
        }
      }
    }
  }
  return true;
}

bool VolumeReader::GetRecordInfo(RecordInfo& out) {
  if (!handle.IsOpen()) return false;
  out.bytesPerRecord = bytesPerRecord;
  out.bytesPerCluster = bytesPerCluster;
  out.bytesPerSector = bytesPerSector;
  out.recordCount = 0;
  if (mftBytes == 0) {
    std::vector<uint8_t> record(bytesPerRecord);
    if (ReadRecord(0, record.data())) {
      ntfs::AttributeWalker walker(Bytes{record.data(), record.size()});
      ntfs::Attribute attr;
      while (walker.Next(attr)) {
        if (attr.Type() != ntfs::kAttrData) continue;
        if (attr.NonResidentHeaderFits() && attr.LowestVcn() == 0)
          mftBytes = attr.RealSize();
        else if (attr.ValueFits())
          mftBytes = attr.Value().size;
      }
    }
  }
  if (mftBytes != 0) out.recordCount = mftBytes / bytesPerRecord;
  return true;
}

bool VolumeReader::LocateMftByte(uint64_t mftOffset, uint64_t& volumeOffset,
                                 uint64_t& contiguous) const {
  if (runs.empty()) {
    if (MulOverflows(mftStartCluster, bytesPerCluster)) return false;
    const uint64_t base = mftStartCluster * bytesPerCluster;
    if (mftOffset > kU64Max - base) return false;
    volumeOffset = base + mftOffset;
    contiguous = kU64Max - volumeOffset;
    return true;
  }
  const uint64_t vcn = mftOffset / bytesPerCluster;
  for (const MftRun& run : runs) {
    if (vcn < run.startVcn || vcn - run.startVcn >= run.clusterCount) continue;
    const uint64_t cluster = run.startLcn + (vcn - run.startVcn);
    const uint64_t clustersLeft = run.clusterCount - (vcn - run.startVcn);
    if (MulOverflows(cluster, bytesPerCluster)) return false;
    const uint64_t within = mftOffset % bytesPerCluster;
    volumeOffset = cluster * bytesPerCluster + within;
    if (volumeOffset < within) return false;
    contiguous = MulOverflows(clustersLeft, bytesPerCluster)
                     ? kU64Max - within
                     : clustersLeft * bytesPerCluster - within;
    return true;
  }
  return false;
}

namespace {

ntfs::ReadResult ReadMftPieces(VolumeReader& reader, uint64_t mftOffset, uint8_t* out,
                               size_t length) {
  while (length > 0) {
    uint64_t volumeOffset = 0, contiguous = 0;
    if (!reader.LocateMftByte(mftOffset, volumeOffset, contiguous)) return ntfs::ReadResult::Failed;
    const size_t piece = static_cast<size_t>(std::min<uint64_t>(length, contiguous));
    if (piece == 0) return ntfs::ReadResult::Failed;
    const ntfs::ReadResult result = ntfs::ReadVolume(reader.handle, volumeOffset, out, piece);
    if (result != ntfs::ReadResult::Ok) return result;
    mftOffset += piece;
    out += piece;
    length -= piece;
  }
  return ntfs::ReadResult::Ok;
}

}  // namespace

bool VolumeReader::ReadMftBytes(uint64_t mftOffset, uint8_t* out, size_t length) {
  return ReadMftPieces(*this, mftOffset, out, length) == ntfs::ReadResult::Ok;
}

uint64_t VolumeReader::RecordsCovered() const {
  if (runs.empty()) {
    if (volumeBytes == 0 || MulOverflows(mftStartCluster, bytesPerCluster)) return 0;
    const uint64_t base = mftStartCluster * bytesPerCluster;
    return base >= volumeBytes ? 0 : (volumeBytes - base) / bytesPerRecord;
  }
  uint64_t end = 0;
  for (const MftRun& run : runs) end = std::max(end, run.startVcn + run.clusterCount);
  if (MulOverflows(end, bytesPerCluster)) return kU64Max / bytesPerRecord;
  return end * bytesPerCluster / bytesPerRecord;
}

uint64_t VolumeReader::RecordsThatFit() const {
  uint64_t bytes = volumeBytes;
  if (deviceBytes != 0 && (bytes == 0 || deviceBytes < bytes)) bytes = deviceBytes;
  // Entries are numbered in 32 bits, whatever the volume's size.
  constexpr uint64_t kMost = uint64_t{1} << 32;
  return bytes == 0 ? kMost : std::min(bytes / bytesPerRecord, kMost);
}

RecordStatus VolumeReader::ReadRecordChecked(uint64_t n, uint8_t* buffer) {
  ++singleReads;
  if (!handle.IsOpen()) return RecordStatus::IoError;
  if (!layoutLoaded) LoadMftLayout();
  if (MulOverflows(n, bytesPerRecord)) return RecordStatus::OutOfRange;
  const uint64_t offset = n * bytesPerRecord;
  if (mftBytes != 0 && offset >= mftBytes) return RecordStatus::OutOfRange;
  uint64_t volumeOffset = 0, contiguous = 0;
  if (!LocateMftByte(offset, volumeOffset, contiguous)) return RecordStatus::OutOfRange;
  switch (ReadMftPieces(*this, offset, buffer, bytesPerRecord)) {
    case ntfs::ReadResult::Ok:
      break;
    case ntfs::ReadResult::PastEnd:
      return RecordStatus::PastEnd;
    case ntfs::ReadResult::Failed:
      return RecordStatus::IoError;
  }
  if (ntfs::RecordSignature(Bytes{buffer, bytesPerRecord}) != ntfs::kFileSignature)
    return RecordStatus::BadSignature;
  if (ntfs::ApplyFixups(buffer, bytesPerRecord) != ntfs::FixupResult::Ok)
    return RecordStatus::FixupMismatch;
  return RecordStatus::Ok;
}

bool VolumeReader::ReadRecord(uint64_t n, uint8_t* buffer) {
  return ReadRecordChecked(n, buffer) == RecordStatus::Ok;
}

}  // namespace zw
