// Crafted disks for the platform tests: bytes placed at offsets of a sparse
// file in the build tree.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace zw::test {

struct DiskImage {
  uint64_t size = 0;
  std::vector<std::pair<uint64_t, std::vector<uint8_t>>> pieces;

  std::vector<uint8_t>& At(uint64_t offset, size_t length) {
    pieces.emplace_back(offset, std::vector<uint8_t>(length));
    return pieces.back().second;
  }
  void Write(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const auto& [offset, bytes] : pieces) {
      out.seekp(std::streamoff(offset));
      out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    // Extend to the full size without writing the gap.
    if (size > 0) {
      out.seekp(std::streamoff(size - 1));
      out.put('\0');
    }
  }
};

inline void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void PutLe64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
}

// An NTFS boot sector: just the fields the platform layer looks at, plus a
// marker so a test can tell which copy it read.
inline void FillNtfsBootSector(std::vector<uint8_t>& sector, uint16_t bytesPerSector,
                               uint8_t marker) {
  std::memcpy(sector.data() + 3, "NTFS    ", 8);
  PutLe16(sector.data() + 0x0B, bytesPerSector);
  sector[0x0D] = 8;
  sector[0x40] = 0xF6;
  sector[0x50] = marker;
  sector[510] = 0x55;
  sector[511] = 0xAA;
}

inline void SetMbrEntry(std::vector<uint8_t>& sector, int index, uint8_t type, uint32_t first,
                        uint32_t count) {
  uint8_t* p = sector.data() + 446 + 16 * index;
  p[0] = 0;
  p[4] = type;
  PutLe32(p + 8, first);
  PutLe32(p + 12, count);
  sector[510] = 0x55;
  sector[511] = 0xAA;
}

}  // namespace zw::test
