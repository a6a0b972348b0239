// The POSIX raw volume: drive table bindings to image files and partitions.
#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "disk_image.h"
#include "platform/drive_table.h"
#include "platform/last_error.h"
#include "platform/raw_volume.h"
#include "support/real_images.h"
#include "support/test_paths.h"

namespace zw::platform {
namespace {

using test::DiskImage;
using test::FillNtfsBootSector;
using test::SetMbrEntry;

class RawVolumeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearDriveTable();
    dir_ = test::ScratchDir(std::string("raw_volume_") +
                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void TearDown() override { ClearDriveTable(); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  // A bare volume of `sectors` 512-byte sectors whose sector i begins with
  // the 32-bit value i, so any read can be checked against its offset.
  std::string NumberedVolume(const std::string& name, uint32_t sectors, uint16_t bytesPerSector) {
    DiskImage image;
    image.size = uint64_t(sectors) * 512;
    for (uint32_t i = 0; i < sectors; ++i) test::PutLe32(image.At(uint64_t(i) * 512, 4).data(), i);
    auto& boot = image.At(0, 512);
    FillNtfsBootSector(boot, bytesPerSector, 0);
    const std::string path = Path(name);
    image.Write(path);
    return path;
  }

  std::string dir_;
};

uint32_t SectorNumber(const std::vector<uint8_t>& buffer, size_t at) {
  return uint32_t(buffer[at]) | (uint32_t(buffer[at + 1]) << 8) | (uint32_t(buffer[at + 2]) << 16) |
         (uint32_t(buffer[at + 3]) << 24);
}

TEST_F(RawVolumeTest, ReadsAlignedRangesAndRefusesMisalignedOnes) {
  BindDrive({u'D', NumberedVolume("v.img", 64, 512), 0, ""});
  RawVolume volume;
  ASSERT_TRUE(volume.Open(u'd')) << LastError();
  EXPECT_EQ(volume.SectorSize(), 512u);
  std::vector<uint8_t> buffer(4096);
  size_t got = 0;
  ASSERT_TRUE(volume.ReadAt(512 * 5, buffer.data(), 1024, got));
  EXPECT_EQ(got, 1024u);
  EXPECT_EQ(SectorNumber(buffer, 0), 5u);
  EXPECT_EQ(SectorNumber(buffer, 512), 6u);

  // Offset or length off the sector grid: refused as Windows refuses it.
  const std::pair<uint64_t, size_t> bad[] = {{1, 512}, {512, 100}, {256, 1024}, {510, 2}};
  for (auto [offset, length] : bad) {
    SetLastError(0);
    got = 99;
    EXPECT_FALSE(volume.ReadAt(offset, buffer.data(), length, got)) << offset << "+" << length;
    EXPECT_EQ(LastError(), error::kInvalidParameter);
    EXPECT_EQ(got, 0u);
  }
  ASSERT_TRUE(volume.ReadAt(0, buffer.data(), 0, got));
  EXPECT_EQ(got, 0u);
}

TEST_F(RawVolumeTest, ShortReadOnlyAtTheEnd) {
  BindDrive({u'D', NumberedVolume("v.img", 64, 512), 0, ""});
  RawVolume volume;
  ASSERT_TRUE(volume.Open(u'D'));
  std::vector<uint8_t> buffer(8192);
  size_t got = 0;
  ASSERT_TRUE(volume.ReadAt(62 * 512, buffer.data(), 4096, got));
  EXPECT_EQ(got, 1024u);
  EXPECT_EQ(SectorNumber(buffer, 512), 63u);
  ASSERT_TRUE(volume.ReadAt(64 * 512, buffer.data(), 512, got));
  EXPECT_EQ(got, 0u);
  ASSERT_TRUE(volume.ReadAt(uint64_t(1) << 62, buffer.data(), 512, got));
  EXPECT_EQ(got, 0u);
}

TEST_F(RawVolumeTest, BootSectorDecidesTheSectorSizeOfAnImage) {
  BindDrive({u'E', NumberedVolume("4k.img", 64, 4096), 0, ""});
  RawVolume volume;
  ASSERT_TRUE(volume.Open(u'E'));
  EXPECT_EQ(volume.SectorSize(), 4096u);
  std::vector<uint8_t> buffer(4096);
  size_t got = 0;
  EXPECT_FALSE(volume.ReadAt(0, buffer.data(), 512, got));  // the classic 512-byte boot read
  EXPECT_EQ(LastError(), error::kInvalidParameter);
  EXPECT_FALSE(volume.ReadAt(512, buffer.data(), 4096, got));
  ASSERT_TRUE(volume.ReadAt(4096, buffer.data(), 4096, got));
  EXPECT_EQ(SectorNumber(buffer, 0), 8u);

  // Sizes that are no power of two between 512 and 4096 fall back to 512.
  for (uint16_t odd : {0, 256, 768, 8192, 65535}) {
    BindDrive({u'F', NumberedVolume("odd.img", 16, odd), 0, ""});
    ASSERT_TRUE(volume.Open(u'F'));
    EXPECT_EQ(volume.SectorSize(), 512u) << odd;
  }
}

TEST_F(RawVolumeTest, PartitionReadsStayInsideThePartition) {
  DiskImage disk;
  disk.size = 4 << 20;
  auto& mbr = disk.At(0, 512);
  SetMbrEntry(mbr, 0, 0x07, 2048, 16);
  SetMbrEntry(mbr, 1, 0x07, 4096, 32);
  auto& first = disk.At(2048u * 512, 512);
  FillNtfsBootSector(first, 512, 1);
  auto& second = disk.At(4096u * 512, 512);
  FillNtfsBootSector(second, 512, 2);
  disk.At(2048u * 512 + 16 * 512, 512)[0] = 0xEE;  // first sector after partition 1
  const std::string path = Path("disk.img");
  disk.Write(path);

  std::string error;
  auto binding = ParseDriveBinding("G=" + path + ":2", error);
  ASSERT_TRUE(binding) << error;
  BindDrive(*binding);
  BindDrive({u'H', path, 1, ""});
  RawVolume volume;
  std::vector<uint8_t> buffer(16 * 1024);
  size_t got = 0;
  ASSERT_TRUE(volume.Open(u'G'));
  ASSERT_TRUE(volume.ReadAt(0, buffer.data(), 512, got));
  EXPECT_EQ(buffer[0x50], 2);
  ASSERT_TRUE(volume.Open(u'H'));
  ASSERT_TRUE(volume.ReadAt(0, buffer.data(), 512, got));
  EXPECT_EQ(buffer[0x50], 1);
  // The last sector of partition 1 arrives, the disk's next sector does not.
  ASSERT_TRUE(volume.ReadAt(15 * 512, buffer.data(), 1024, got));
  EXPECT_EQ(got, 512u);
  ASSERT_TRUE(volume.ReadAt(16 * 512, buffer.data(), 512, got));
  EXPECT_EQ(got, 0u);

  BindDrive({u'I', path, 3, ""});
  EXPECT_FALSE(volume.Open(u'I'));
  EXPECT_EQ(LastError(), error::kNotFound);
  EXPECT_FALSE(volume.IsOpen());
}

TEST_F(RawVolumeTest, OpenFailuresSayWhy) {
  RawVolume volume;
  EXPECT_FALSE(volume.Open(u'Z'));  // not bound
  EXPECT_EQ(LastError(), error::kFileNotFound);

  BindDrive({u'D', Path("missing.img"), 0, ""});
  EXPECT_FALSE(volume.Open(u'D'));
  EXPECT_EQ(LastError(), error::kFileNotFound);

  BindDrive({u'D', dir_, 0, ""});
  EXPECT_FALSE(volume.Open(u'D'));
  EXPECT_EQ(LastError(), error::kAccessDenied);

  if (::geteuid() != 0) {  // root reads anything
    const std::string locked = NumberedVolume("locked.img", 8, 512);
    ::chmod(locked.c_str(), 0);
    BindDrive({u'D', locked, 0, ""});
    EXPECT_FALSE(volume.Open(u'D'));
    EXPECT_EQ(LastError(), error::kAccessDenied);
  }

  // Partition N of a bare volume: its boot sector is no partition table.
  BindDrive({u'D', NumberedVolume("bare.img", 8, 512), 1, ""});
  EXPECT_FALSE(volume.Open(u'D'));
  EXPECT_EQ(LastError(), error::kDiskCorrupt);

  std::vector<uint8_t> buffer(512);
  size_t got = 0;
  EXPECT_FALSE(volume.ReadAt(0, buffer.data(), 512, got));
  EXPECT_EQ(LastError(), error::kInvalidHandle);
}

TEST_F(RawVolumeTest, OpensForReadingOnlyAndMovesOwnership) {
  const std::string path = NumberedVolume("ro.img", 8, 512);
  ::chmod(path.c_str(), 0444);
  BindDrive({u'D', path, 0, ""});
  RawVolume volume;
  ASSERT_TRUE(volume.Open(u'D'));

  // Find our descriptor of the image and check how it was opened.
  int found = 0;
  const auto wanted = std::filesystem::canonical(path);
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const auto target = std::filesystem::read_symlink(entry.path(), ec);
    if (ec || target != wanted) continue;
    const int fd = std::stoi(entry.path().filename().string());
    const int flags = ::fcntl(fd, F_GETFL);
    EXPECT_EQ(flags & O_ACCMODE, O_RDONLY);
    EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC);
    ++found;
  }
  EXPECT_EQ(found, 1);

  RawVolume moved(std::move(volume));
  EXPECT_FALSE(volume.IsOpen());
  ASSERT_TRUE(moved.IsOpen());
  std::vector<uint8_t> buffer(512);
  size_t got = 0;
  EXPECT_TRUE(moved.ReadAt(512, buffer.data(), 512, got));
  EXPECT_EQ(SectorNumber(buffer, 0), 1u);
  RawVolume assigned;
  assigned = std::move(moved);
  EXPECT_TRUE(assigned.ReadAt(1024, buffer.data(), 512, got));
  EXPECT_EQ(SectorNumber(buffer, 0), 2u);
  assigned.Close();
  EXPECT_FALSE(assigned.IsOpen());
}

// The real Windows 10 disk image: MBR, NTFS at sector 2048.
std::string RealDiskImage() {
  return test::RealImagePath(test::RealImage::Windows20H1);
}

TEST_F(RawVolumeTest, RealWindowsDiskImagePartitionOne) {
  const std::string image = RealDiskImage();
  ASSERT_FALSE(image.empty()) << test::RealImageProblem(test::RealImage::Windows20H1);
  BindDrive({u'D', image, 1, ""});
  RawVolume volume;
  ASSERT_TRUE(volume.Open(u'D')) << LastError();
  std::vector<uint8_t> boot(512);
  size_t got = 0;
  ASSERT_TRUE(volume.ReadAt(0, boot.data(), 512, got));
  ASSERT_EQ(got, 512u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&boot[3]), 8), "NTFS    ");
  // Windows records where the volume starts ("hidden sectors") and how long
  // it is; both must agree with the partition entry.
  EXPECT_EQ(SectorNumber(boot, 0x1C), 2048u);
  uint64_t totalSectors = 0;
  for (int i = 7; i >= 0; --i) totalSectors = (totalSectors << 8) | boot[0x28 + i];
  ASSERT_GT(totalSectors, 0u);
  std::vector<uint8_t> backup(512);
  ASSERT_TRUE(volume.ReadAt(totalSectors * 512, backup.data(), 512, got));
  ASSERT_EQ(got, 512u);
  EXPECT_EQ(backup, boot) << "the backup boot sector ends the partition";
  ASSERT_TRUE(volume.ReadAt((totalSectors + 1) * 512, backup.data(), 512, got));
  EXPECT_EQ(got, 0u);
}

}  // namespace
}  // namespace zw::platform
#endif
