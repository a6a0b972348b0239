#include "platform/partition_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

#include "disk_image.h"
#include "platform/last_error.h"

namespace zw::platform {
namespace {

using test::PutLe32;
using test::PutLe64;
using test::SetMbrEntry;

// A disk held in memory as sparse sectors; reads outside it fail like a
// short read would.
struct MemoryDisk {
  explicit MemoryDisk(uint64_t bytes) : size(bytes) {}
  uint64_t size = 0;
  std::map<uint64_t, std::vector<uint8_t>> blocks;  // offset -> bytes
  int reads = 0;

  std::vector<uint8_t>& At(uint64_t offset, size_t length) {
    auto& b = blocks[offset];
    b.assign(length, 0);
    return b;
  }
  DiskReader Reader() {
    return [this](uint64_t offset, void* buffer, size_t length) {
      ++reads;
      if (offset > size || length > size - offset) {
        SetLastError(error::kDiskCorrupt);
        return false;
      }
      auto* out = static_cast<uint8_t*>(buffer);
      std::memset(out, 0, length);
      for (const auto& [start, bytes] : blocks) {
        const uint64_t end = start + bytes.size();
        const uint64_t lo = std::max(start, offset), hi = std::min(end, offset + length);
        if (lo < hi) std::memcpy(out + (lo - offset), bytes.data() + (lo - start), hi - lo);
      }
      return true;
    };
  }
};

struct GptPart {
  uint64_t first, last;
};

// A GPT disk with both headers and both entry arrays.
void WriteGpt(MemoryDisk& disk, uint32_t sector, const std::vector<GptPart>& parts,
              uint32_t entryCount = 128) {
  const uint32_t entrySize = 128;
  const uint64_t lastLba = disk.size / sector - 1;
  std::vector<uint8_t> entries(size_t(entryCount) * entrySize);
  for (size_t i = 0; i < parts.size(); ++i) {
    uint8_t* e = entries.data() + i * entrySize;
    if (parts[i].first == 0) continue;  // an unused slot
    std::memset(e, 0xA2, 16);           // any non-zero type GUID
    PutLe64(e + 32, parts[i].first);
    PutLe64(e + 40, parts[i].last);
  }
  const uint32_t entriesCrc = Crc32(entries.data(), entries.size());
  const uint64_t entrySectors = (entries.size() + sector - 1) / sector;
  auto header = [&](uint64_t self, uint64_t alternate, uint64_t entriesLba) {
    std::vector<uint8_t>& h = disk.At(self * sector, sector);
    std::memcpy(h.data(), "EFI PART", 8);
    PutLe32(&h[8], 0x00010000);
    PutLe32(&h[12], 92);
    PutLe64(&h[24], self);
    PutLe64(&h[32], alternate);
    PutLe64(&h[40], 2 + entrySectors);
    PutLe64(&h[48], lastLba - 1 - entrySectors);
    PutLe64(&h[72], entriesLba);
    PutLe32(&h[80], entryCount);
    PutLe32(&h[84], entrySize);
    PutLe32(&h[88], entriesCrc);
    PutLe32(&h[16], Crc32(h.data(), 92));
    disk.At(entriesLba * sector, entries.size()) = entries;
  };
  header(1, lastLba, 2);
  header(lastLba, 1, lastLba - entrySectors);
  std::vector<uint8_t>& mbr = disk.At(0, 512);
  SetMbrEntry(mbr, 0, 0xEE, 1, uint32_t(std::min<uint64_t>(lastLba, 0xFFFFFFFF)));
}

TEST(Crc32, MatchesTheStandardCheckValue) {
  EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(Crc32("", 0), 0u);
}

TEST(MbrPartitions, PrimaryEntriesGiveByteExtents) {
  MemoryDisk disk(64 << 20);
  auto& mbr = disk.At(0, 512);
  SetMbrEntry(mbr, 0, 0x07, 2048, 4096);
  SetMbrEntry(mbr, 2, 0x07, 8192, 100);
  PartitionExtent extent;
  ASSERT_TRUE(FindPartition(disk.Reader(), disk.size, 0, 1, extent));
  EXPECT_EQ(extent.offset, 2048u * 512);
  EXPECT_EQ(extent.length, 4096u * 512);
  ASSERT_TRUE(FindPartition(disk.Reader(), disk.size, 0, 3, extent));
  EXPECT_EQ(extent.offset, 8192u * 512);

  // Slot 2 is empty, slot 4 is empty, and there is no slot 5 without an
  // extended partition.
  for (int n : {2, 4, 5, 0, -1}) {
    SetLastError(0);
    EXPECT_FALSE(FindPartition(disk.Reader(), disk.size, 0, n, extent)) << n;
    EXPECT_EQ(LastError(), error::kNotFound) << n;
  }
}

TEST(MbrPartitions, DamagedOrMissingTablesAreRefused) {
  PartitionExtent extent;
  {
    MemoryDisk disk(1 << 20);
    disk.At(0, 512);  // zeros: no 55 AA
    EXPECT_FALSE(FindPartition(disk.Reader(), disk.size, 0, 1, extent));
    EXPECT_EQ(LastError(), error::kDiskCorrupt);
  }
  {
    // A bare NTFS volume ends its boot sector in 55 AA too; its boot code
    // must not be read as partition entries.
    MemoryDisk disk(1 << 20);
    auto& boot = disk.At(0, 512);
    test::FillNtfsBootSector(boot, 512, 1);
    SetMbrEntry(boot, 0, 0x07, 1, 10);
    std::memcpy(boot.data() + 3, "NTFS    ", 8);
    EXPECT_FALSE(FindPartition(disk.Reader(), disk.size, 0, 1, extent));
    EXPECT_EQ(LastError(), error::kDiskCorrupt);
  }
  {
    // A partition that starts beyond the disk, and one that starts at 0.
    MemoryDisk disk(1 << 20);
    auto& mbr = disk.At(0, 512);
    SetMbrEntry(mbr, 0, 0x07, 4096, 10);
    SetMbrEntry(mbr, 1, 0x07, 0, 10);
    EXPECT_FALSE(FindPartition(disk.Reader(), disk.size, 0, 1, extent));
    EXPECT_EQ(LastError(), error::kDiskCorrupt);
    EXPECT_FALSE(FindPartition(disk.Reader(), disk.size, 0, 2, extent));
  }
  {
    // A disk smaller than one sector.
    MemoryDisk disk(100);
    EXPECT_FALSE(FindPartition(disk.Reader(), disk.size, 0, 1, extent));
    EXPECT_EQ(LastError(), error::kDiskCorrupt);
  }
}

TEST(MbrPartitions, TruncatedImageKeepsWhatItHolds) {
  MemoryDisk disk(1 << 20);  // 2048 sectors
  auto& mbr = disk.At(0, 512);
  SetMbrEntry(mbr, 0, 0x07, 1024, 0xFFFFFFFF);
  PartitionExtent extent;
  ASSERT_TRUE(FindPartition(disk.Reader(), disk.size, 0, 1, extent));
  EXPECT_EQ(extent.offset, 1024u * 512);
  EXPECT_EQ(extent.length, 1024u * 512);
}

TEST(MbrPartitions, LogicalPartitionsFollowTheChain) {
  MemoryDisk disk(64 << 20);
  auto& mbr = disk.At(0, 512);
  SetMbrEntry(mbr, 0, 0x07, 2048, 2048);
  SetMbrEntry(mbr, 1, 0x0F, 10000, 50000);
  // EBR 1 at 10000: logical 5 at +63; next EBR at extended start + 20000.
  auto& ebr1 = disk.At(10000u * 512, 512);
  SetMbrEntry(ebr1, 0, 0x07, 63, 1000);
  SetMbrEntry(ebr1, 1, 0x05, 20000, 5000);
  auto& ebr2 = disk.At(30000u * 512, 512);
  SetMbrEntry(ebr2, 0, 0x07, 63, 2000);

  PartitionExtent extent;
  ASSERT_TRUE(FindPartition(disk.Reader(), disk.size, 0, 5, extent));
  EXPECT_EQ(extent.offset, 10063u * 512);
  EXPECT_EQ(extent.length, 1000u * 512);
  ASSERT_TRUE(FindPartition(disk.Reader(), disk.size, 0, 6, extent));
  EXPECT_EQ(extent.offset, 30063u * 512);
  EXPECT_EQ(extent.length, 2000u * 512);
  EXPECT_FALSE(FindPartition(disk.Reader(), disk.size, 0, 7, extent));
  EXPECT_EQ(LastError(), error::kNotFound);
  // The extended container itself is not a volume.
  EXPECT_FALSE(FindPartition(disk.Reader(), disk.size, 0, 2, extent));
}

TEST(MbrPartitions, LoopingOrEscapingChainsEnd) {
  MemoryDisk disk(64 << 20);
  auto& mbr = disk.At(0, 512);
  SetMbrEntry(mbr, 0, 0x05, 10000, 50000);
  auto& ebr1 = disk.At(10000u * 512, 512);
  SetMbrEntry(ebr1, 0, 0x07, 63, 100);
  SetMbrEntry(ebr1, 1, 0x05, 100, 100);
  auto& ebr2 = disk.At(10100u * 512, 512);
  SetMbrEntry(ebr2, 0, 0x07, 63, 100);
  SetMbrEntry(ebr2, 1, 0x05, 100, 100);  // points back at itself

  PartitionExtent extent;
  ASSERT_TRUE(FindPartition(disk.Reader(), disk.size, 0, 6, extent));
  const int before = disk.reads;
  EXPECT_FALSE(FindPartition(disk.Reader(), disk.size, 0, 40, extent));
  EXPECT_EQ(LastError(), error::kDiskCorrupt);
  EXPECT_LT(disk.reads - before, 10);

  // A link past the extended partition, and a logical partition that runs
  // past its container.
  SetMbrEntry(ebr2, 1, 0x05, 60000, 100);
  EXPECT_FALSE(FindPartition(disk.Reader(), disk.size, 0, 7, extent));
  EXPECT_EQ(LastError(), error::kDiskCorrupt);
  SetMbrEntry(ebr2, 0, 0x07, 63, 60000);
  EXPECT_FALSE(FindPartition(disk.Reader(), disk.size, 0, 6, extent));
  EXPECT_EQ(LastError(), error::kDiskCorrupt);
}

TEST(GptPartitions, EntriesAreNumberedBySlot) {
  MemoryDisk disk(64 << 20);
  WriteGpt(disk, 512, {{2048, 4095}, {0, 0}, {8192, 16383}});
  PartitionExtent extent;
  ASSERT_TRUE(FindPartition(disk.Reader(), disk.size, 0, 1, extent));
  EXPECT_EQ(extent.offset, 2048u * 512);
  EXPECT_EQ(extent.length, 2048u * 512);
  ASSERT_TRUE(FindPartition(disk.Reader(), disk.size, 0, 3, extent));
  EXPECT_EQ(extent.offset, 8192u * 512);
  EXPECT_EQ(extent.length, 8192u * 512);
  for (int n : {2, 4, 128, 129, 5000}) {
    EXPECT_FALSE(FindPartition(disk.Reader(), disk.size, 0, n, extent)) << n;
    EXPECT_EQ(LastError(), error::kNotFound) << n;
  }
}

TEST(GptPartitions, FourKibibyteSectorsAreFoundInImages) {
  MemoryDisk disk(64 << 20);
  WriteGpt(disk, 4096, {{256, 511}});
  PartitionExtent extent;
  ASSERT_TRUE(FindPartition(disk.Reader(), disk.size, 0, 1, extent));
  EXPECT_EQ(extent.offset, 256u * 4096);
  EXPECT_EQ(extent.length, 256u * 4096);
  EXPECT_EQ(extent.sectorSize, 4096u);
  // A device that says 512 has no GPT at 4096.
  EXPECT_FALSE(FindPartition(disk.Reader(), disk.size, 512, 1, extent));
}

TEST(GptPartitions, DamagedPrimaryFallsBackToTheBackup) {
  MemoryDisk disk(64 << 20);
  WriteGpt(disk, 512, {{2048, 4095}});
  disk.blocks[512][40] ^= 1;  // header CRC no longer matches
  PartitionExtent extent;
  ASSERT_TRUE(FindPartition(disk.Reader(), disk.size, 0, 1, extent));
  EXPECT_EQ(extent.offset, 2048u * 512);

  // Both entry arrays damaged: refused, not trusted.
  MemoryDisk both(64 << 20);
  WriteGpt(both, 512, {{2048, 4095}});
  for (auto& [offset, bytes] : both.blocks)
    if (bytes.size() == 128 * 128) bytes[40] ^= 1;
  EXPECT_FALSE(FindPartition(both.Reader(), both.size, 0, 1, extent));
  EXPECT_EQ(LastError(), error::kDiskCorrupt);
}

TEST(GptPartitions, HostileHeaderFieldsAreRefused) {
  PartitionExtent extent;
  auto damage = [&](auto edit) {
    MemoryDisk disk(64 << 20);
    WriteGpt(disk, 512, {{2048, 4095}});
    // Only the primary header is edited and re-sealed; the backup is removed
    // so that the edit cannot be worked around.
    disk.blocks.erase(disk.size - 512);
    std::vector<uint8_t>& h = disk.blocks[512];
    edit(h);
    std::memset(&h[16], 0, 4);
    PutLe32(&h[16], Crc32(h.data(), 92));
    SetLastError(0);
    const bool found = FindPartition(disk.Reader(), disk.size, 0, 1, extent);
    return found ? 0u : LastError();
  };
  EXPECT_EQ(damage([](std::vector<uint8_t>&) {}), 0u);  // the edit harness itself
  EXPECT_EQ(damage([](auto& h) { PutLe32(&h[80], 0x7FFFFFFF); }), error::kDiskCorrupt);
  EXPECT_EQ(damage([](auto& h) { PutLe32(&h[84], 0); }), error::kDiskCorrupt);
  EXPECT_EQ(damage([](auto& h) { PutLe32(&h[84], 130); }), error::kDiskCorrupt);
  EXPECT_EQ(damage([](auto& h) { PutLe64(&h[72], ~0ull); }), error::kDiskCorrupt);
  EXPECT_EQ(damage([](auto& h) { PutLe64(&h[24], 7); }), error::kDiskCorrupt);
  EXPECT_EQ(damage([](auto& h) { PutLe32(&h[12], 4000); }), error::kDiskCorrupt);

  // An entry whose end lies before its start.
  MemoryDisk disk(64 << 20);
  WriteGpt(disk, 512, {{4095, 2048}});
  EXPECT_FALSE(FindPartition(disk.Reader(), disk.size, 0, 1, extent));
  EXPECT_EQ(LastError(), error::kDiskCorrupt);
}

TEST(Partitions, ReadErrorsKeepTheReadersCode) {
  PartitionExtent extent;
  DiskReader failing = [](uint64_t, void*, size_t) {
    SetLastError(error::kIoDevice);
    return false;
  };
  EXPECT_FALSE(FindPartition(failing, 1 << 20, 0, 1, extent));
  EXPECT_EQ(LastError(), error::kIoDevice);
}

}  // namespace
}  // namespace zw::platform
