#include "index/scanned_drive.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "base/utf.h"
#include "engine/index_drive.h"
#include "index/build_paths.h"
#include "platform/drive_table.h"
#include "support/test_paths.h"

namespace zw {
namespace {

ScanRecord Scanned(uint64_t record, uint64_t parent, std::u16string name, bool folder = false,
                   uint64_t size = 1) {
  ScanRecord r;
  r.recordNumber = record;
  r.sequenceNumber = uint16_t(record % 7 + 1);
  r.parentRecordNumber = parent;
  r.name = std::move(name);
  r.isFolder = folder;
  r.size = size;
  r.modificationTime = record * 7;
  return r;
}

std::vector<ScanRecord> Chain(uint64_t firstRecord, int depth, std::vector<ScanRecord> v = {}) {
  // Deepest first, so that no folder is complete before its children.
  v.push_back(Scanned(firstRecord + 100000, firstRecord + depth - 1, u"leaf.txt"));
  for (int i = depth - 1; i >= 0; --i) {
    v.push_back(Scanned(firstRecord + i, i == 0 ? 5 : firstRecord + i - 1,
                        u"f" + FromUtf8(std::to_string(i)), true));
  }
  return v;
}

// Whatever the tree, the store made from the scan holds what building every
// path and storing them holds: the same entries, in the same order, with
// the same paths and parents.
TEST(ScannedDrive, GivesWhatBuiltPathsGive) {
  const std::vector<std::vector<ScanRecord>> trees = {
      {Scanned(60, 61, u"child-first.txt"), Scanned(61, 5, u"Late", true),
       Scanned(62, 61, u"Sub", true), Scanned(63, 62, u"deep.TXT"), Scanned(80, 999, u"orphan"),
       Scanned(81, 0, u"no-parent"), Scanned(82, 11, u"$UsnJrnl"), Scanned(83, 5, u"$Secret", true),
       Scanned(84, 83, u"below-metadata.txt"), Scanned(85, 61, u"$not-metadata"),
       Scanned(86, 998, u"$Orphan", true), Scanned(87, 86, u"x"), Scanned(88, 5, u"")},
      {Scanned(70, 71, u"A", true), Scanned(71, 70, u"B", true), Scanned(72, 70, u"in-loop.txt"),
       Scanned(73, 5, u"fine.txt")},
      {Scanned(40, 40, u"self", true), Scanned(41, 40, u"y.txt")},
      {Scanned(90, 5, u"Dup", true), Scanned(90, 5, u"Dup2", true), Scanned(91, 90, u"under")},
      Chain(100, 255, {Scanned(20, 5, u"a")}),
      Chain(100, 256),
  };
  for (size_t t = 0; t < trees.size(); ++t) {
    SCOPED_TRACE("tree " + std::to_string(t));
    std::vector<FileEntry> values;
    ScannedDrive drive(u'D');
    for (const ScanRecord& r : trees[t]) {
      FileEntry e;
      e.recordNumber = r.recordNumber;
      e.sequenceNumber = r.sequenceNumber;
      e.parentRecordNumber = r.parentRecordNumber;
      e.name = r.name;
      e.size = r.size;
      e.modificationTime = r.modificationTime;
      e.isFolder = r.isFolder;
      values.push_back(e);
      drive.Add(r);
    }
    BuildPaths(u'D', values);
    DropMetadataEntries(values, u'D');
    EntryStore expected;
    expected.AppendValues(values, u'D');
    CompleteScannedDrive(drive);

    ASSERT_EQ(drive.store.size(), expected.size());
    for (uint32_t n = 0; n < expected.size(); ++n) {
      const FileEntry got = drive.store[n].Value();
      const FileEntry want = expected[n].Value();
      ASSERT_EQ(ToUtf8(got.path), ToUtf8(want.path)) << n;
      EXPECT_EQ(got.parentRecordNumber, want.parentRecordNumber) << n;
      EXPECT_EQ(got.recordNumber, want.recordNumber) << n;
      EXPECT_EQ(got.sequenceNumber, want.sequenceNumber) << n;
      EXPECT_NE(got.sequenceNumber, 0) << n;
      EXPECT_EQ(got.modificationTime, want.modificationTime) << n;
      EXPECT_EQ(got.drive, u'D') << n;
    }
  }
}

// A chain deeper than paths follow is linked like any tree (no path kept as
// a string): the first entry past the depth starts a cut path, marked, and
// the entries below continue it.
TEST(ScannedDrive, DeepChainsStayLinkedWithTheirCutPathsMarked) {
  ScannedDrive drive(u'D');
  for (const ScanRecord& r : Chain(100, 300)) drive.Add(r);
  CompleteScannedDrive(drive);
  const EntryStore& store = drive.store;
  ASSERT_EQ(store.size(), 301u);  // leaf, then f299 .. f0
  for (uint32_t n = 0; n < store.size(); ++n) ASSERT_FALSE(store.HasKeptPath(n)) << n;
  const EntryRef whole = store[300 - 256], first = store[300 - 257], leaf = store[0];
  EXPECT_FALSE(whole.pathCut());  // 256 ancestors: shown whole
  EXPECT_EQ(ToUtf8(whole.path()).rfind("D:\\f0\\f1\\", 0), 0u);
  EXPECT_TRUE(first.pathCut());
  EXPECT_EQ(first.path(), u"\u2026\\f257");
  EXPECT_EQ(first.parentRecordNumber(), 100u + 256);
  EXPECT_TRUE(leaf.pathCut());
  const std::string path = ToUtf8(leaf.path());
  EXPECT_EQ(path.rfind("\u2026\\f257\\f258\\", 0), 0u) << path.substr(0, 40);
  EXPECT_NE(path.find("\\f299\\leaf.txt"), std::string::npos);
}

TEST(ScannedDrive, ZeroSizesAreAskedOfTheFileSystem) {
#ifdef _WIN32
  GTEST_SKIP() << "drive letters resolve through mount points only on POSIX";
#endif
  const std::string dir = test::ScratchDir("scanned_drive_sizes");
  std::ofstream(dir + "/five.bin", std::ios::binary) << "12345";
  // Win32 would open "dot.bin" for this name: never asked.
  std::ofstream(dir + "/dot.bin.", std::ios::binary) << "12345";
  platform::DriveBinding binding;
  binding.letter = u'Q';
  binding.source = dir + "/no-image";
  binding.mountPoint = dir;
  platform::BindDrive(binding);
  ScannedDrive drive(u'Q');
  drive.Add(Scanned(20, 5, u"five.bin", false, 0));
  drive.Add(Scanned(21, 5, u"missing.bin", false, 0));
  drive.Add(Scanned(22, 5, u"dot.bin.", false, 0));
  CompleteScannedDrive(drive);
  platform::UnbindDrive(u'Q');
  EXPECT_EQ(drive.store[0].size(), 5u);
  EXPECT_EQ(drive.store[1].size(), 0u);
  EXPECT_EQ(drive.store[2].size(), 0u);
}

}  // namespace
}  // namespace zw
