// Drive enumeration over bound images, checked against ntfs-3g's and The
// Sleuth Kit's view of the same volumes.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/drive_table.h"
#include "platform/drives.h"
#include "support/real_images.h"
#include "support/test_paths.h"
#include "volumes/drive_info.h"

namespace zw {
namespace {

#ifdef _WIN32
// Under the Wine harness an NTFS image is bound as a drive (ZW_WINE_DRIVE):
// the system's own calls must report it as a fixed NTFS drive.
TEST(SystemDrives, BoundImageIsAFixedNtfsDrive) {
  const char* drive = std::getenv("ZW_WINE_DRIVE");
  if (!drive || !drive[0]) GTEST_SKIP() << "no image bound as a drive";
  const char16_t letter = char16_t(drive[0] & ~0x20);
  bool enumerated = false;
  for (const DriveInfo& d : EnumerateNtfsDrives()) {
    EXPECT_TRUE(d.isNtfs);
    enumerated |= d.letter == letter;
  }
  EXPECT_TRUE(enumerated);
  bool listed = false;
  for (const DriveInfo& d : ListSelectableDrives()) {
    if (d.letter != letter) continue;
    listed = true;
    EXPECT_TRUE(d.isNtfs);
    EXPECT_GT(d.totalBytes, 0u);
  }
  EXPECT_TRUE(listed);
}
#endif

#ifndef _WIN32
std::string RunText(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    pclose(p);
  }
  return out;
}

// The number after `key` in a tool's output, or -1.
long long NumberAfter(const std::string& text, const std::string& key) {
  size_t at = text.find(key);
  if (at == std::string::npos) return -1;
  return std::atoll(text.c_str() + at + key.size());
}

class BoundDrives : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = test::ScratchDir("volumes_images");
    // An NTFS volume with a label, made by mkntfs into our own image file.
    ntfs_ = dir_ + "/labelled.img";
    std::remove(ntfs_.c_str());
    std::ofstream(ntfs_, std::ios::binary).close();
    ASSERT_EQ(truncate(ntfs_.c_str(), 8 << 20), 0);
    const std::string mk = "mkntfs -F -Q -q -L 'Daten Disk' " + ntfs_ + " > /dev/null 2>&1";
    haveNtfs_ = std::system(mk.c_str()) == 0;
    // A FAT32 boot sector: a fixed drive that is not NTFS.
    fat_ = dir_ + "/fat32.img";
    std::string boot(1 << 20, '\0');
    boot.replace(3, 8, "MSDOS5.0");
    boot.replace(71, 11, "MYSTICK    ");
    boot.replace(82, 8, "FAT32   ");
    boot[510] = char(0x55);
    boot[511] = char(0xAA);
    std::ofstream(fat_, std::ios::binary) << boot;
    // Nothing any file system would recognise.
    blank_ = dir_ + "/blank.img";
    std::ofstream(blank_, std::ios::binary) << std::string(1 << 20, '\0');
  }

  void SetUp() override {
    ASSERT_TRUE(haveNtfs_) << "mkntfs (ntfs-3g) could not format " << ntfs_;
    platform::ClearDriveTable();
    Bind(u'D', ntfs_);
    Bind(u'E', blank_);
    Bind(u'F', fat_);
  }
  void TearDown() override { platform::ClearDriveTable(); }

  static void Bind(char16_t letter, const std::string& path) {
    platform::DriveBinding b;
    b.letter = letter;
    b.source = path;
    platform::BindDrive(b);
  }

  static inline std::string dir_, ntfs_, fat_, blank_;
  static inline bool haveNtfs_ = false;
};

TEST_F(BoundDrives, OnlyFixedNtfsDrivesAreEnumerated) {
  const std::vector<DriveInfo> ntfs = EnumerateNtfsDrives();
  ASSERT_EQ(ntfs.size(), 1u);
  EXPECT_EQ(ntfs[0].letter, u'D');
  EXPECT_EQ(ntfs[0].label, u"Daten Disk");
  EXPECT_EQ(ntfs[0].fileSystem, u"NTFS");
  EXPECT_TRUE(ntfs[0].isNtfs);
  EXPECT_EQ(ntfs[0].totalBytes, 8u << 20);

  // Free space is counted from the volume's cluster bitmap; ntfs-3g agrees.
  const std::string info = RunText("ntfsinfo -m " + ntfs_ + " 2>/dev/null");
  const long long freeClusters = NumberAfter(info, "Free Clusters: ");
  const long long clusterSize = NumberAfter(info, "Cluster Size: ");
  ASSERT_TRUE(freeClusters >= 0 && clusterSize > 0) << "ntfsinfo gave no figures:\n" << info;
  EXPECT_EQ(ntfs[0].freeBytes, uint64_t(freeClusters * clusterSize));
}

TEST_F(BoundDrives, SelectableListShowsEveryDriveAscending) {
  Bind(u'C', ntfs_);  // bound last, listed first
  const std::vector<DriveInfo> all = ListSelectableDrives();
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[0].letter, u'C');
  EXPECT_EQ(all[1].letter, u'D');
  EXPECT_EQ(all[2].letter, u'E');
  EXPECT_EQ(all[2].fileSystem, u"Unknown");  // unreadable: still listed, not NTFS
  EXPECT_EQ(all[2].label, u"");
  EXPECT_FALSE(all[2].isNtfs);
  EXPECT_EQ(all[3].letter, u'F');
  EXPECT_EQ(all[3].fileSystem, u"FAT32");
  EXPECT_EQ(all[3].label, u"MYSTICK");
  EXPECT_FALSE(all[3].isNtfs);
  EXPECT_EQ(all[3].totalBytes, 1u << 20);
  EXPECT_EQ(all[3].freeBytes, 0u);  // not counted outside NTFS
}

TEST_F(BoundDrives, DriveInfoOfSingleLetters) {
  DriveInfo info;
  EXPECT_TRUE(GetDriveInfo(u'f', info));  // letters are upper-cased
  EXPECT_EQ(info.letter, u'F');
  EXPECT_EQ(info.fileSystem, u"FAT32");
  EXPECT_FALSE(GetDriveInfo(u'E', info));  // volume information unreadable
  EXPECT_EQ(info.letter, u'E');
  EXPECT_FALSE(GetDriveInfo(u'Q', info));  // no such drive
  EXPECT_EQ(platform::DriveType(u"Q:\\"), platform::kDriveNoRootDir);
  EXPECT_EQ(platform::DriveType(u"D:"), platform::kDriveFixed);
  EXPECT_EQ(platform::DriveType(u"nonsense"), platform::kDriveNoRootDir);

  char16_t small[4];
  EXPECT_EQ(platform::LogicalDriveStrings(4, small), 13u);  // three drives need 13
  char16_t buffer[32];
  EXPECT_EQ(platform::LogicalDriveStrings(32, buffer), 12u);
  EXPECT_EQ(std::u16string(buffer, 13), std::u16string(u"D:\\\0E:\\\0F:\\\0\0", 13));
}

// A volume written by Windows: the label and free space agree with The
// Sleuth Kit and ntfs-3g.
TEST_F(BoundDrives, RealWindowsVolume) {
  const std::string image = test::RealImagePath(test::RealImage::Charlie);
  ASSERT_FALSE(image.empty()) << test::RealImageProblem(test::RealImage::Charlie);
  Bind(u'G', image);
  DriveInfo info;
  ASSERT_TRUE(GetDriveInfo(u'G', info));
  EXPECT_EQ(info.label, u"Charlie");
  EXPECT_TRUE(info.isNtfs);
  const std::string fsstat = RunText("fsstat " + image + " 2>/dev/null");
  if (fsstat.find("Volume Name: Charlie") == std::string::npos)
    ADD_FAILURE() << "The Sleuth Kit names the volume otherwise:\n" << fsstat.substr(0, 400);
  const std::string ntfsinfo = RunText("ntfsinfo -m " + image + " 2>/dev/null");
  const long long freeClusters = NumberAfter(ntfsinfo, "Free Clusters: ");
  ASSERT_GE(freeClusters, 0) << "ntfsinfo gave no figures:\n" << ntfsinfo;
  EXPECT_EQ(info.freeBytes, uint64_t(freeClusters) * 4096);
}
#endif

}  // namespace
}  // namespace zw
