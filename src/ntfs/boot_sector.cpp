#include "ntfs/boot_sector.h"

#include "ntfs/ondisk.h"

namespace zw::ntfs {

namespace {
bool PowerOfTwo(uint64_t v) {
  return v != 0 && (v & (v - 1)) == 0;
}
}  // namespace

BootSectorStatus ParseBootSector(const uint8_t* sector, size_t size, BootSector& out) {
  Bytes boot{sector, size};
  if (!boot.Fits(0, kBootSectorSize) || boot.U64(0x03) != kNtfsOemId)
    return BootSectorStatus::NotNtfs;

  const uint32_t bytesPerSector = boot.U16(0x0B);
  if (!PowerOfTwo(bytesPerSector) || bytesPerSector < 256 || bytesPerSector > 4096)
    return BootSectorStatus::Damaged;

  // Above 0x80 the byte is a negative power of two: 0xF4 is 2^12 sectors,
  // which is how Windows writes clusters of 128 KiB to 2 MiB.
  const uint8_t spc = boot.U8(0x0D);
  uint64_t sectorsPerCluster = 0;
  if (spc <= 0x80) {
    sectorsPerCluster = spc;
  } else {
    const unsigned shift = 256u - spc;
    if (shift > 31) return BootSectorStatus::Damaged;
    sectorsPerCluster = uint64_t{1} << shift;
  }
  if (!PowerOfTwo(sectorsPerCluster)) return BootSectorStatus::Damaged;
  const uint64_t bytesPerCluster = sectorsPerCluster * bytesPerSector;
  if (bytesPerCluster > kMaxClusterSize) return BootSectorStatus::Damaged;

  const int8_t cpr = static_cast<int8_t>(boot.U8(0x40));
  uint64_t bytesPerRecord = 0;
  if (cpr < 0) {
    const int shift = -static_cast<int>(cpr);
    if (shift > 31) return BootSectorStatus::Damaged;
    bytesPerRecord = uint64_t{1} << shift;
  } else {
    bytesPerRecord = bytesPerCluster * static_cast<uint64_t>(cpr);
  }
  // Records are fixed up in 512-byte strides and read in 64 KiB batches.
  if (!PowerOfTwo(bytesPerRecord) || bytesPerRecord < 512 || bytesPerRecord > kMaxRecordSize)
    return BootSectorStatus::Damaged;

  out.bytesPerSector = bytesPerSector;
  out.bytesPerCluster = static_cast<uint32_t>(bytesPerCluster);
  out.bytesPerRecord = static_cast<uint32_t>(bytesPerRecord);
  out.totalSectors = boot.U64(0x28);
  out.mftStartCluster = boot.U64(0x30);
  out.serialNumber = boot.U64(0x48);
  return BootSectorStatus::Ok;
}

}  // namespace zw::ntfs
