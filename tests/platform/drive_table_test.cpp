#include "platform/drive_table.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace zw::platform {
namespace {

TEST(ParseDriveBinding, AcceptsLetterAndPathWithOptionalPartition) {
  std::string error;
  auto b = ParseDriveBinding("D=/tmp/disk.img", error);
  ASSERT_TRUE(b) << error;
  EXPECT_EQ(b->letter, u'D');
  EXPECT_EQ(b->source, "/tmp/disk.img");
  EXPECT_EQ(b->partition, 0);

  b = ParseDriveBinding("e=/dev/sdb:2", error);
  ASSERT_TRUE(b) << error;
  EXPECT_EQ(b->letter, u'E');  // upper-cased
  EXPECT_EQ(b->source, "/dev/sdb");
  EXPECT_EQ(b->partition, 2);

  // Only a trailing run of digits is a partition; other colons are the path's.
  b = ParseDriveBinding("F=/tmp/a:b/c.img", error);
  ASSERT_TRUE(b) << error;
  EXPECT_EQ(b->source, "/tmp/a:b/c.img");
  EXPECT_EQ(b->partition, 0);
  b = ParseDriveBinding("F=/tmp/x:12:3", error);
  ASSERT_TRUE(b) << error;
  EXPECT_EQ(b->source, "/tmp/x:12");
  EXPECT_EQ(b->partition, 3);
  b = ParseDriveBinding("G=img:", error);
  ASSERT_TRUE(b) << error;
  EXPECT_EQ(b->source, "img:");
}

TEST(ParseDriveBinding, RefusesMalformedTextWithAReason) {
  for (const char* text : {"", "D", "D:", "D:/tmp/x", "DD=/x", "1=/x", "é=/x", "=/x", "[=/x",
                           "D=", "D=:1", "D=/x:0", "D=/x:99999999999999999999", "D=/x:5000"}) {
    std::string error;
    EXPECT_FALSE(ParseDriveBinding(text, error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
  std::string error;
  EXPECT_FALSE(ParseDriveBinding("1=/x", error));
  EXPECT_NE(error.find("1=/x"), std::string::npos) << "the message names the input: " << error;
}

class DriveTableTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearDriveTable(); }
  void TearDown() override { ClearDriveTable(); }
};

TEST_F(DriveTableTest, BindReplacesAndListsInLetterOrder) {
  BindDrive({u'q', "/a", 0, ""});
  BindDrive({u'C', "/b", 1, "/mnt/c"});
  BindDrive({u'Q', "/c", 2, ""});
  auto q = FindDriveBinding(u'Q');
  ASSERT_TRUE(q);
  EXPECT_EQ(q->source, "/c");
  EXPECT_EQ(FindDriveBinding(u'q')->source, "/c");
  auto all = DriveBindings();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].letter, u'C');
  EXPECT_EQ(all[0].mountPoint, "/mnt/c");
  EXPECT_EQ(all[1].letter, u'Q');
  UnbindDrive(u'c');
  EXPECT_FALSE(FindDriveBinding(u'C'));
  EXPECT_EQ(DriveBindings().size(), 1u);
}

TEST_F(DriveTableTest, ConcurrentBindAndLookupAreSafe) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 2000; ++i) {
        const char16_t letter = char16_t(u'A' + (i + t) % 26);
        BindDrive({letter, "/img" + std::to_string(i), 0, ""});
        auto b = FindDriveBinding(letter);
        if (b) {
          EXPECT_EQ(b->letter, letter);
        }
        if (i % 7 == 0) UnbindDrive(letter);
        (void)DriveBindings();
      }
    });
  }
  for (auto& th : threads) th.join();
  for (const auto& b : DriveBindings()) EXPECT_EQ(b.source.rfind("/img", 0), 0u);
}

}  // namespace
}  // namespace zw::platform
