// Finding partition N of a whole-disk image or device: MBR primary entries
// 1-4, logical partitions 5 and up in an extended partition (numbered as
// Linux numbers them), or GPT entry N. Every field read from the disk is
// checked before use; nothing here trusts the table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace zw::platform {

struct PartitionExtent {
  uint64_t offset = 0;        // bytes from the start of the disk
  uint64_t length = 0;        // bytes
  uint32_t sectorSize = 512;  // the unit the table counts in
};

// Reads exactly `length` bytes at `offset`, or returns false with LastError set.
using DiskReader = std::function<bool(uint64_t offset, void* buffer, size_t length)>;

// `diskBytes` is the size of the whole disk. `sectorSize` is the disk's
// logical sector size, or 0 for an image file: then 512 is assumed, except
// that a GPT header found at 4096 means 4096-byte sectors.
// On failure LastError is error::kNotFound (the table has no such
// entry), error::kDiskCorrupt (no table, or a damaged one), or what the
// reader set.
[[nodiscard]] bool FindPartition(const DiskReader& read, uint64_t diskBytes, uint32_t sectorSize,
                                 int number, PartitionExtent& out) noexcept;

// CRC-32 as GPT uses it (IEEE 802.3, reflected).
uint32_t Crc32(const void* data, size_t length) noexcept;

}  // namespace zw::platform
