// The Windows raw volume, run under Wine with an NTFS image bound to a drive
// letter (tests/wine/run.sh sets ZW_WINE_DRIVE and ZW_WINE_IMAGE); skipped
// where no drive was bound.
#if defined(_WIN32)
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/file_attributes.h"
#include "platform/last_error.h"
#include "platform/raw_volume.h"

namespace zw::platform {
namespace {

char16_t BoundDrive() {
  const char* drive = std::getenv("ZW_WINE_DRIVE");
  return drive && drive[0] ? char16_t(drive[0]) : 0;
}

TEST(RawVolumeWin32, ReadsTheBootSectorOfABoundDrive) {
  const char16_t letter = BoundDrive();
  if (!letter) GTEST_SKIP() << "no drive bound (ZW_WINE_DRIVE)";
  RawVolume volume;
  ASSERT_TRUE(volume.Open(letter)) << "error " << LastError();
  const uint32_t sector = volume.SectorSize();
  ASSERT_GE(sector, 512u);
  std::vector<unsigned char> boot(4096);
  size_t got = 0;
  ASSERT_TRUE(volume.ReadAt(0, boot.data(), sector, got)) << LastError();
  ASSERT_EQ(got, sector);
  EXPECT_EQ(std::memcmp(boot.data() + 3, "NTFS    ", 8), 0);
  EXPECT_EQ(boot[510], 0x55);
  EXPECT_EQ(boot[511], 0xAA);

  // The same bytes as the image file itself, further in too.
  if (const char* image = std::getenv("ZW_WINE_IMAGE")) {
    std::ifstream in(image, std::ios::binary);
    std::vector<unsigned char> expected(4096);
    in.read(reinterpret_cast<char*>(expected.data()), std::streamsize(expected.size()));
    ASSERT_TRUE(in) << image;
    ASSERT_TRUE(volume.ReadAt(0, boot.data(), 4096, got));
    ASSERT_EQ(got, 4096u);
    EXPECT_EQ(boot, expected);

    // The last sector of the image arrives whole; nothing comes after it.
    in.clear();
    in.seekg(0, std::ios::end);
    const uint64_t size = uint64_t(in.tellg());
    const uint64_t last = size / sector * sector - sector;
    in.seekg(std::streamoff(last));
    in.read(reinterpret_cast<char*>(expected.data()), std::streamsize(sector));
    ASSERT_TRUE(volume.ReadAt(last, boot.data(), sector, got)) << LastError();
    ASSERT_EQ(got, sector);
    EXPECT_EQ(std::memcmp(boot.data(), expected.data(), sector), 0);
    if (volume.ReadAt(last + sector, boot.data(), sector, got)) {
      EXPECT_EQ(got, 0u);
    }
  }

  // Wine would allow these; the volume refuses them as Windows does.
  EXPECT_FALSE(volume.ReadAt(1, boot.data(), sector, got));
  EXPECT_EQ(LastError(), error::kInvalidParameter);
  EXPECT_FALSE(volume.ReadAt(0, boot.data(), 100, got));
  EXPECT_EQ(LastError(), error::kInvalidParameter);
}

TEST(RawVolumeWin32, LettersWithoutAVolumeFail) {
  RawVolume volume;
  EXPECT_FALSE(volume.Open(u'?'));
  EXPECT_FALSE(volume.IsOpen());
  std::vector<unsigned char> buffer(512);
  size_t got = 0;
  EXPECT_FALSE(volume.ReadAt(0, buffer.data(), 512, got));
  EXPECT_EQ(LastError(), error::kInvalidHandle);
}

TEST(FileAttributesWin32, ReportsFilesFoldersAndMissingPaths) {
  FileAttributeData data;
  ASSERT_TRUE(GetFileAttributeData(u"C:\\windows\\system32\\kernel32.dll", data)) << LastError();
  EXPECT_GT(data.size, 0u);
  EXPECT_EQ(data.attributes & 0x10, 0u);
  EXPECT_NE(data.lastWriteTime, 0u);
  ASSERT_TRUE(GetFileAttributeData(u"C:\\windows", data));
  EXPECT_EQ(data.attributes & 0x10, 0x10u);
  EXPECT_FALSE(GetFileAttributeData(u"C:\\no such folder\\보고서.txt", data));
  EXPECT_TRUE(LastError() == error::kFileNotFound || LastError() == error::kPathNotFound)
      << LastError();
  EXPECT_FALSE(GetFileAttributeData(std::u16string(u"C:\\windows\0x", 12), data));
}

}  // namespace
}  // namespace zw::platform
#endif
