// The NTFS boot sector: volume geometry and where the MFT starts.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zw::ntfs {

inline constexpr size_t kBootSectorSize = 512;
inline constexpr uint64_t kNtfsOemId = 0x202020205346544Eull;  // "NTFS    "
inline constexpr uint32_t kMaxRecordSize = 65536;
inline constexpr uint32_t kMaxClusterSize = 2u * 1024 * 1024;

struct BootSector {
  uint32_t bytesPerSector = 0;
  uint32_t bytesPerCluster = 0;
  uint32_t bytesPerRecord = 0;
  uint64_t totalSectors = 0;
  uint64_t mftStartCluster = 0;
  uint64_t serialNumber = 0;
};

enum class BootSectorStatus { Ok, NotNtfs, Damaged };

// Reads and checks the geometry. Any size that is 0, not a power of two or
// out of the range NTFS allows is Damaged: later divisions and batch sizes
// depend on these values.
BootSectorStatus ParseBootSector(const uint8_t* sector, size_t size, BootSector& out);

}  // namespace zw::ntfs
