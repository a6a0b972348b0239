// The sector size an NTFS boot sector claims, for volumes whose device does
// not say (image files, Wine). Internal to the platform layer.
#pragma once

#include <cstdint>
#include <cstring>

namespace zw::platform {

inline constexpr uint32_t kDefaultSectorSize = 512;

// `boot` holds the first 512 bytes of the volume. Only a power of two from
// 512 to 4096 in an NTFS boot sector is believed; anything else gives 512.
inline uint32_t SectorSizeFromBootSector(const unsigned char* boot) {
  if (std::memcmp(boot + 3, "NTFS    ", 8) != 0) return kDefaultSectorSize;
  const uint32_t claimed = uint32_t(boot[0x0B] | (boot[0x0C] << 8));
  const bool powerOfTwo = claimed != 0 && (claimed & (claimed - 1)) == 0;
  return powerOfTwo && claimed >= 512 && claimed <= 4096 ? claimed : kDefaultSectorSize;
}

}  // namespace zw::platform
