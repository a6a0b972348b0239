#include "platform/partition_table.h"

#include <array>
#include <cstring>
#include <vector>

#include "platform/last_error.h"

namespace zw::platform {

namespace {

uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint64_t Le64(const uint8_t* p) {
  return uint64_t(Le32(p)) | (uint64_t(Le32(p + 4)) << 32);
}

bool Fail(uint32_t code) {
  SetLastError(code);
  return false;
}

// Turns a sector range into bytes, refusing anything that starts outside the
// disk or overflows. A range running past the end is cut at the end, so that
// a truncated image still yields what it holds.
bool MakeExtent(uint64_t firstSector, uint64_t sectorCount, uint32_t sectorSize, uint64_t diskBytes,
                PartitionExtent& out) {
  const uint64_t diskSectors = diskBytes / sectorSize;
  if (sectorCount == 0 || firstSector == 0 || firstSector >= diskSectors)
    return Fail(error::kDiskCorrupt);
  const uint64_t count = std::min(sectorCount, diskSectors - firstSector);
  out.offset = firstSector * sectorSize;
  out.length = count * sectorSize;
  out.sectorSize = sectorSize;
  return true;
}

// ---- MBR ----

constexpr size_t kMbrSize = 512;
constexpr size_t kMbrEntries = 446;
constexpr int kMaxLogicalPartitions = 256;  // bounds a looping EBR chain

struct MbrEntry {
  uint8_t status = 0;
  uint8_t type = 0;
  uint32_t first = 0;
  uint32_t count = 0;
};

bool IsExtended(uint8_t type) {
  return type == 0x05 || type == 0x0F || type == 0x85;
}

// False when the sector does not look like a partition table at all.
bool ReadMbrEntries(const std::array<uint8_t, kMbrSize>& sector, std::array<MbrEntry, 4>& entries) {
  if (sector[510] != 0x55 || sector[511] != 0xAA) return false;
  // A volume boot sector also ends in 55 AA; its OEM name gives it away.
  if (std::memcmp(sector.data() + 3, "NTFS    ", 8) == 0) return false;
  for (int i = 0; i < 4; ++i) {
    const uint8_t* p = sector.data() + kMbrEntries + size_t(16) * i;
    entries[i] = {p[0], p[4], Le32(p + 8), Le32(p + 12)};
    if (entries[i].status != 0x00 && entries[i].status != 0x80) return false;
  }
  return true;
}

bool FindLogical(const DiskReader& read, uint64_t diskBytes, uint32_t sectorSize,
                 const MbrEntry& extended, int number, PartitionExtent& out) {
  const uint64_t extStart = extended.first;
  const uint64_t extEnd = extStart + extended.count;
  uint64_t ebr = extStart;
  int current = 5;
  for (int hops = 0; hops < kMaxLogicalPartitions; ++hops) {
    if (ebr < extStart || ebr >= extEnd || (ebr + 1) * sectorSize > diskBytes)
      return Fail(error::kDiskCorrupt);
    std::array<uint8_t, kMbrSize> sector{};
    if (!read(ebr * sectorSize, sector.data(), sector.size())) return false;
    std::array<MbrEntry, 4> entries;
    if (!ReadMbrEntries(sector, entries)) return Fail(error::kDiskCorrupt);
    const MbrEntry& logical = entries[0];
    if (logical.type != 0 && logical.count != 0) {
      if (current == number) {
        if (uint64_t(logical.first) + logical.count > extEnd - ebr)
          return Fail(error::kDiskCorrupt);
        return MakeExtent(ebr + logical.first, logical.count, sectorSize, diskBytes, out);
      }
      ++current;
    }
    const MbrEntry& next = entries[1];
    if (!IsExtended(next.type) || next.first == 0) return Fail(error::kNotFound);
    // Each link must move forward, which also ends any loop.
    if (extStart + next.first <= ebr) return Fail(error::kDiskCorrupt);
    ebr = extStart + next.first;
  }
  return Fail(error::kDiskCorrupt);
}

// ---- GPT ----

constexpr uint32_t kGptMinHeader = 92;
constexpr uint64_t kGptMaxEntryBytes = 16u << 20;  // far above any real table

struct GptHeader {
  uint64_t alternate = 0;
  uint64_t entriesLba = 0;
  uint32_t entryCount = 0;
  uint32_t entrySize = 0;
  uint32_t entriesCrc = 0;
};

enum class GptRead { kOk, kAbsent, kDamaged, kIoError };

GptRead ReadGptHeader(const DiskReader& read, uint64_t diskBytes, uint32_t sectorSize, uint64_t lba,
                      GptHeader& header) {
  if (lba == 0 || lba >= diskBytes / sectorSize) return GptRead::kAbsent;
  std::vector<uint8_t> sector(sectorSize);
  if (!read(lba * sectorSize, sector.data(), sector.size())) return GptRead::kIoError;
  if (std::memcmp(sector.data(), "EFI PART", 8) != 0) return GptRead::kAbsent;
  const uint32_t headerSize = Le32(&sector[12]);
  if (headerSize < kGptMinHeader || headerSize > sectorSize) return GptRead::kDamaged;
  const uint32_t storedCrc = Le32(&sector[16]);
  std::memset(&sector[16], 0, 4);
  if (Crc32(sector.data(), headerSize) != storedCrc) return GptRead::kDamaged;
  if (Le64(&sector[24]) != lba) return GptRead::kDamaged;
  header.alternate = Le64(&sector[32]);
  header.entriesLba = Le64(&sector[72]);
  header.entryCount = Le32(&sector[80]);
  header.entrySize = Le32(&sector[84]);
  header.entriesCrc = Le32(&sector[88]);
  if (header.entrySize < 128 || header.entrySize % 8 != 0) return GptRead::kDamaged;
  const uint64_t tableBytes = uint64_t(header.entryCount) * header.entrySize;
  if (tableBytes > kGptMaxEntryBytes) return GptRead::kDamaged;
  const uint64_t diskSectors = diskBytes / sectorSize;
  if (header.entriesLba == 0 || header.entriesLba >= diskSectors ||
      tableBytes > (diskSectors - header.entriesLba) * sectorSize)
    return GptRead::kDamaged;
  return GptRead::kOk;
}

// Reads the entry array of `header` and the entry of `number`.
bool GptPartition(const DiskReader& read, uint64_t diskBytes, uint32_t sectorSize,
                  const GptHeader& header, int number, PartitionExtent& out, bool& damaged) {
  damaged = false;
  const size_t tableBytes = size_t(header.entryCount) * header.entrySize;
  // Whole sectors, as a device would want them.
  const size_t readBytes = (tableBytes + sectorSize - 1) / sectorSize * sectorSize;
  std::vector<uint8_t> table(readBytes);
  if (readBytes != 0 && !read(header.entriesLba * sectorSize, table.data(), readBytes))
    return false;
  if (Crc32(table.data(), tableBytes) != header.entriesCrc) {
    damaged = true;
    return Fail(error::kDiskCorrupt);
  }
  if (uint32_t(number) > header.entryCount) return Fail(error::kNotFound);
  const uint8_t* entry = table.data() + size_t(number - 1) * header.entrySize;
  static constexpr uint8_t kUnused[16] = {};
  if (std::memcmp(entry, kUnused, 16) == 0) return Fail(error::kNotFound);
  const uint64_t first = Le64(entry + 32);
  const uint64_t last = Le64(entry + 40);
  if (last < first) return Fail(error::kDiskCorrupt);
  return MakeExtent(first, last - first + 1, sectorSize, diskBytes, out);
}

enum class Outcome { kFound, kFailed, kAbsent };

// Primary header first, then the backup at the end of the disk. kFailed
// leaves LastError set; kAbsent means there is no GPT at this sector size.
Outcome FindGpt(const DiskReader& read, uint64_t diskBytes, uint32_t sectorSize, int number,
                PartitionExtent& out) {
  GptHeader header;
  const GptRead primary = ReadGptHeader(read, diskBytes, sectorSize, 1, header);
  if (primary == GptRead::kIoError) return Outcome::kFailed;
  if (primary == GptRead::kOk) {
    bool damaged = false;
    if (GptPartition(read, diskBytes, sectorSize, header, number, out, damaged))
      return Outcome::kFound;
    if (!damaged) return Outcome::kFailed;
  }
  const uint64_t lastLba = diskBytes / sectorSize - 1;
  uint64_t backupLba = lastLba;
  if (primary == GptRead::kOk && header.alternate != 0 && header.alternate <= lastLba)
    backupLba = header.alternate;
  GptHeader backup;
  const GptRead second = ReadGptHeader(read, diskBytes, sectorSize, backupLba, backup);
  if (second == GptRead::kIoError) return Outcome::kFailed;
  if (second == GptRead::kOk) {
    bool damaged = false;
    return GptPartition(read, diskBytes, sectorSize, backup, number, out, damaged)
               ? Outcome::kFound
               : Outcome::kFailed;
  }
  if (primary == GptRead::kAbsent && second == GptRead::kAbsent) return Outcome::kAbsent;
  Fail(error::kDiskCorrupt);
  return Outcome::kFailed;
}

}  // namespace

uint32_t Crc32(const void* data, size_t length) noexcept {
  static const auto kTable = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  // CRC-32 as GPT uses it: all ones going in, inverted coming out.
  constexpr uint32_t kAllOnes = ~uint32_t{0};
  uint32_t crc = kAllOnes;
  const auto* p = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < length; ++i) crc = kTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ kAllOnes;
}

bool FindPartition(const DiskReader& read, uint64_t diskBytes, uint32_t sectorSize, int number,
                   PartitionExtent& out) noexcept {
  try {
    if (number < 1) return Fail(error::kNotFound);
    const uint32_t mbrUnit = sectorSize != 0 ? sectorSize : 512;
    if (diskBytes < kMbrSize || diskBytes < mbrUnit) return Fail(error::kDiskCorrupt);
    std::array<uint8_t, kMbrSize> sector{};
    if (!read(0, sector.data(), sector.size())) return false;
    std::array<MbrEntry, 4> entries;
    const bool mbr = ReadMbrEntries(sector, entries);
    bool protective = false;
    for (const MbrEntry& e : entries) protective = protective || (mbr && e.type == 0xEE);

    if (!mbr || protective) {
      // Image files do not say their sector size; 4096-byte-sector disks put
      // the GPT header at byte 4096.
      const uint32_t units[2] = {mbrUnit, 4096};
      const int tries = (sectorSize == 0 && mbrUnit != 4096) ? 2 : 1;
      for (int i = 0; i < tries; ++i) {
        const Outcome outcome = FindGpt(read, diskBytes, units[i], number, out);
        if (outcome == Outcome::kFound) return true;
        if (outcome == Outcome::kFailed) return false;
      }
      return Fail(error::kDiskCorrupt);
    }

    if (number <= 4) {
      const MbrEntry& e = entries[number - 1];
      if (e.type == 0 || e.count == 0 || IsExtended(e.type)) return Fail(error::kNotFound);
      return MakeExtent(e.first, e.count, mbrUnit, diskBytes, out);
    }
    for (const MbrEntry& e : entries) {
      if (IsExtended(e.type) && e.count != 0)
        return FindLogical(read, diskBytes, mbrUnit, e, number, out);
    }
    return Fail(error::kNotFound);
  } catch (...) {  // allocation
    return Fail(error::kDiskCorrupt);
  }
}

}  // namespace zw::platform
