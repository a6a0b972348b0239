#include "engine/index_drive.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/utf.h"
#include "engine/file_index.h"
#include "index/scanned_drive.h"
#include "platform/drive_table.h"
#include "support/entry_views.h"
#include "support/ntfs_builder.h"
#include "support/real_images.h"
#include "support/test_paths.h"

namespace zw {
namespace {

using testing::ElementsAre;

std::string Charlie() {
  return test::RealImagePath(test::RealImage::Charlie);
}

// A copy of the charlie volume with `patch` written at `offset`.
std::string PatchedCharlie(const std::string& name, size_t offset, const std::string& patch) {
  std::ifstream in(Charlie(), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  std::string image = bytes.str();
  image.replace(offset, patch.size(), patch);
  const std::string path = test::ScratchDir("index-drive-" + name) + "/" + name;
  std::ofstream(path, std::ios::binary) << image;
  return path;
}

void Bind(char16_t letter, const std::string& source) {
  platform::DriveBinding binding;
  binding.letter = letter;
  binding.source = source;
  platform::BindDrive(binding);
}

std::vector<std::string> Paths(const FileIndex& index) {
  std::vector<std::string> out;
  const EntryReadView hold(index.entries);
  for (const FileEntry& e : hold.entries()) out.push_back(ToUtf8(e.path));
  return out;
}

class IndexDriveTest : public testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "image files are bound to letters only on POSIX";
#endif
    ASSERT_FALSE(Charlie().empty()) << test::RealImageProblem(test::RealImage::Charlie);
  }
  void TearDown() override {
    for (char16_t letter : {u'D', u'E', u'F'}) platform::UnbindDrive(letter);
  }
};

TEST_F(IndexDriveTest, DrivesAppendInTurnNumberedAndLettered) {
  Bind(u'D', Charlie());
  Bind(u'E', Charlie());
  FileIndex index;
  std::vector<std::pair<char16_t, uint64_t>> finalProgress;
  index.progressCallback = [&](char16_t letter, uint64_t done, uint64_t expected) {
    if (done == expected) finalProgress.emplace_back(letter, done);
  };
  IndexDriveStats d;
  IndexDriveStats e;
  ASSERT_TRUE(IndexDrive(index, u'D', d));
  ASSERT_TRUE(IndexDrive(index, u'E', e));

  EXPECT_THAT(
      Paths(index),
      ElementsAre("D:\\System Volume Information", "D:\\System Volume Information\\WPSettings.dat",
                  "D:\\Nine.txt", "E:\\System Volume Information",
                  "E:\\System Volume Information\\WPSettings.dat", "E:\\Nine.txt"));
  for (size_t n = 0; n < test::Read(index).entries().size(); ++n) {
    EXPECT_EQ(test::Read(index).entries()[n].Value().id, n);
    EXPECT_EQ(test::Read(index).entries()[n].Value().drive, n < 3 ? u'D' : u'E');
  }
  EXPECT_EQ(test::Read(index).entries()[2].Value().lowerName, u"nine.txt");
  EXPECT_EQ(test::Read(index).entries()[2].Value().lowerExtension, u"txt");
  EXPECT_EQ(test::Read(index).entries()[2].Value().size, 5000u);
  EXPECT_FALSE(test::Read(index).entries()[2].Value().isFolder);
  EXPECT_TRUE(test::Read(index).entries()[0].Value().isFolder);

  EXPECT_EQ(d.recordCount, 256u);
  EXPECT_EQ(d.appended, 3u);
  EXPECT_GT(d.scanned, d.appended);  // the $Extend entries were dropped
  EXPECT_EQ(e.appended, 3u);
  ASSERT_EQ(finalProgress.size(), 2u);
  EXPECT_EQ(finalProgress[0].first, u'D');
  EXPECT_EQ(finalProgress[1].first, u'E');
}

TEST_F(IndexDriveTest, AVolumeThatCannotBeOpenedAppendsNothingAndSaysWhy) {
  Bind(u'D', Charlie());
  const std::string zeros = test::ScratchDir("index-drive-zeros") + "/zeros.img";
  std::ofstream(zeros, std::ios::binary) << std::string(1 << 20, '\0');
  Bind(u'E', zeros);
  Bind(u'F', test::BinaryDir() + "/no-such-image.img");

  FileIndex index;
  ASSERT_TRUE(IndexDrive(index, u'D'));
  IndexDriveStats stats;
  EXPECT_FALSE(IndexDrive(index, u'E', stats));
  EXPECT_FALSE(stats.opened);
  EXPECT_EQ(stats.openStatus, OpenStatus::NotNtfs);
  EXPECT_FALSE(IndexDrive(index, u'F', stats));
  EXPECT_EQ(stats.openStatus, OpenStatus::Missing);
  EXPECT_NE(stats.openError, 0u);
  EXPECT_EQ(test::Read(index).entries().size(), 3u);
}

TEST_F(IndexDriveTest, AVolumeWhoseMftCannotBeFoundFails) {
  // The boot sector passes, but its MFT start lies past the end of the volume.
  Bind(u'D', PatchedCharlie("mft-gone.img", 0x30, std::string("\xff\xff\xff\x0f\0\0\0\0", 8)));
  FileIndex index;
  IndexDriveStats stats;
  EXPECT_FALSE(IndexDrive(index, u'D', stats));
  EXPECT_TRUE(stats.opened);
  EXPECT_FALSE(stats.mftReadable);
  EXPECT_TRUE(test::Read(index).entries().empty());
}

TEST_F(IndexDriveTest, AStopKeepsWhatWasScannedAndCountsAsDone) {
  Bind(u'D', Charlie());
  FileIndex index;
  // The first progress report comes before any record: stop there.
  index.progressCallback = [&](char16_t, uint64_t, uint64_t) { index.stopRequested.store(true); };
  IndexDriveStats stats;
  EXPECT_TRUE(IndexDrive(index, u'D', stats));
  EXPECT_EQ(stats.scanned, 0u);
  EXPECT_TRUE(test::Read(index).entries().empty());
}

// No record here has a name, so only the scan itself can hear the stop.
TEST_F(IndexDriveTest, AStopIsHeardAmongRecordsWithoutNames) {
  test::VolumeSpec layout;
  layout.mftExtents = {{16, 4000}};  // 16,000 records
  layout.totalClusters = 4100;
  const std::string path = test::ScratchDir("index-drive-nameless") + "/nameless.img";
  ASSERT_TRUE(test::VolumeBuilder(layout).WriteTo(path));
  Bind(u'D', path);
  FileIndex index;
  index.progressCallback = [&](char16_t, uint64_t, uint64_t) { index.stopRequested.store(true); };
  IndexDriveStats stats;
  EXPECT_TRUE(IndexDrive(index, u'D', stats));
  EXPECT_EQ(stats.counters.recordsRead, 0u);
}

TEST(MetadataFilter, DropsTheVolumesOwnDollarEntriesAndKeepsOrder) {
  EXPECT_TRUE(IsMetadataPath(u"D:\\$Extend", u'D'));
  EXPECT_TRUE(IsMetadataPath(u"d:\\$Extend\\$ObjId", u'D'));
  EXPECT_TRUE(IsMetadataPath(u"D:\\$", u'd'));
  EXPECT_TRUE(IsMetadataPath(u"D:\\$RECYCLE.BIN\\S-1-5\\a.txt", u'D'));
  EXPECT_FALSE(IsMetadataPath(u"D:\\", u'D'));
  EXPECT_FALSE(IsMetadataPath(u"D:\\a$", u'D'));
  EXPECT_FALSE(IsMetadataPath(u"D:\\Work\\$tmp", u'D'));
  EXPECT_FALSE(IsMetadataPath(u"E:\\$Extend", u'D'));
  EXPECT_FALSE(IsMetadataPath(u"D:/$Extend", u'D'));

  std::vector<FileEntry> v(5);
  const char16_t* paths[] = {u"D:\\a", u"D:\\$MFT", u"D:\\b", u"D:\\$Extend\\$Quota", u"D:\\c"};
  for (size_t i = 0; i < 5; ++i) v[i].path = paths[i];
  DropMetadataEntries(v, u'D');
  ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ(v[0].path, u"D:\\a");
  EXPECT_EQ(v[1].path, u"D:\\b");
  EXPECT_EQ(v[2].path, u"D:\\c");
}

}  // namespace
}  // namespace zw
