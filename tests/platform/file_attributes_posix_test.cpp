// Windows paths resolved through a drive's mount point.
#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>

#include "platform/drive_table.h"
#include "platform/file_attributes.h"
#include "platform/last_error.h"
#include "support/test_paths.h"

namespace zw::platform {
namespace {

class FileAttributesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearDriveTable();
    root_ = test::ScratchDir("file_attributes");
    ::mkdir((root_ + "/mnt").c_str(), 0755);
    ::mkdir((root_ + "/mnt/보고서").c_str(), 0755);
    std::ofstream(root_ + "/mnt/보고서/a.txt") << "hello";
    std::ofstream(root_ + "/outside.txt") << "secret";
    BindDrive({u'D', "/dev/null", 0, root_ + "/mnt/"});
  }
  void TearDown() override { ClearDriveTable(); }
  std::string root_;
};

TEST_F(FileAttributesTest, ResolvesThroughTheMountPoint) {
  FileAttributeData data;
  ASSERT_TRUE(GetFileAttributeData(u"d:\\보고서\\a.txt", data)) << LastError();
  EXPECT_EQ(data.size, 5u);
  EXPECT_EQ(data.attributes & 0x10, 0u);
  // FILETIME of "now", give or take a day: 100 ns units since 1601.
  const uint64_t now = (uint64_t(std::time(nullptr)) + 11644473600ull) * 10000000ull;
  const uint64_t day = 864000000000ull;
  EXPECT_GT(data.lastWriteTime, now - day);
  EXPECT_LT(data.lastWriteTime, now + day);
  EXPECT_NE(data.creationTime, 0u);

  ASSERT_TRUE(GetFileAttributeData(u"D:\\보고서", data));
  EXPECT_EQ(data.attributes & 0x10, 0x10u);
  EXPECT_EQ(data.size, 0u);
  ASSERT_TRUE(GetFileAttributeData(u"D:\\", data));
  EXPECT_EQ(data.attributes & 0x10, 0x10u);
  ASSERT_TRUE(GetFileAttributeData(u"D:/보고서/./a.txt", data));
  EXPECT_EQ(data.size, 5u);
}

TEST_F(FileAttributesTest, DotDotNeverLeavesTheDrive) {
  FileAttributeData data;
  // Like Windows, ".." stops at the root: this names D:\outside.txt, which
  // does not exist, not the file beside the mount point.
  EXPECT_FALSE(GetFileAttributeData(u"D:\\..\\outside.txt", data));
  EXPECT_EQ(LastError(), error::kFileNotFound);
  EXPECT_TRUE(GetFileAttributeData(u"D:\\..\\..\\보고서\\a.txt", data));
}

TEST_F(FileAttributesTest, MissingFilesAndUnmountedDrivesFail) {
  FileAttributeData data;
  data.size = 1234;
  EXPECT_FALSE(GetFileAttributeData(u"D:\\nothing.txt", data));
  EXPECT_EQ(LastError(), error::kFileNotFound);
  EXPECT_EQ(data.size, 1234u) << "a failed call leaves the output alone";
  EXPECT_FALSE(GetFileAttributeData(u"D:\\보고서\\a.txt\\x", data));
  EXPECT_EQ(LastError(), error::kPathNotFound);

  BindDrive({u'E', "/dev/null", 0, ""});
  EXPECT_FALSE(GetFileAttributeData(u"E:\\a", data));  // bound, but no mount point
  EXPECT_FALSE(GetFileAttributeData(u"Q:\\a", data));  // not bound
  EXPECT_FALSE(GetFileAttributeData(u"relative\\a", data));
  EXPECT_FALSE(GetFileAttributeData(u"", data));
  const std::u16string withNul(u"D:\\보고서\0x", 8);
  EXPECT_FALSE(GetFileAttributeData(withNul, data));
}

}  // namespace
}  // namespace zw::platform
#endif
