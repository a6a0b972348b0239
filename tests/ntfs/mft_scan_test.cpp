// ScanMft and ParseRecord over crafted volumes: which records become
// entries, which name and size they get, and how damage is counted.
#include <gtest/gtest.h>

#include "ntfs/record.h"
#include "scan_fixture.h"

namespace zw {
namespace {

using test::BoundVolume;
using test::ByteVec;
using test::RecordBuilder;
using test::VolumeBuilder;
using test::VolumeSpec;
using RB = RecordBuilder;

constexpr uint16_t kFile = RB::kInUse;
constexpr uint16_t kFolder = RB::kInUse | RB::kDirectory;

ByteVec WithBase(ByteVec record, uint64_t base) {
  test::PutLe(record, 0x20, base | (uint64_t{1} << 48), 8);
  return record;
}

// Crafted images are bound through the POSIX drive table; on Windows the
// scan is covered by windows_volume_test.cpp on drives Wine provides.
#ifndef _WIN32

TEST(MftScanTest, DeliversLiveFilesAndFoldersOnly) {
  VolumeBuilder b;
  b.SetRecord(16, RB(1024, kFolder)
                      .StandardInfo(100, 200, 0x10)
                      .FileName(5, u"docs", test::kWin32, 999)
                      .Finish());
  ByteVec reused = RB(1024, kFile)
                       .StandardInfo(300, 400, 0x20)
                       .FileName(16, u"읽기.txt", test::kWin32, 1)
                       .Data(ByteVec(300, 'x'))
                       .Finish();
  test::PutLe(reused, 0x10, 7, 2);  // the record's seventh file
  b.SetRecord(17, reused);
  b.SetRecord(18, RB(1024, 0).FileName(5, u"deleted", test::kWin32).Finish());
  b.SetRecord(19, RB(1024, kFile).StandardInfo(1, 1, 0).Finish());  // no name
  b.SetRecord(21, RB(1024, kFile).FileName(16, u"later", test::kWin32).Finish());
  BoundVolume vol(b, "basic");
  test::ScanResult s = test::ScanVolume(u'V');
  ASSERT_TRUE(s.scanned);
  ASSERT_EQ(s.entries.size(), 3u);
  const ScanRecord& docs = s.entries[0];
  EXPECT_EQ(docs.recordNumber, 16u);
  EXPECT_EQ(docs.name, u"docs");
  EXPECT_EQ(docs.parentRecordNumber, 5u);
  EXPECT_TRUE(docs.isFolder);
  EXPECT_EQ(docs.size, 0u);  // a folder's size stays 0
  EXPECT_EQ(docs.creationTime, 100u);
  EXPECT_EQ(docs.modificationTime, 200u);
  EXPECT_EQ(docs.attributes, 0x10u);
  const ScanRecord& file = s.entries[1];
  EXPECT_EQ(file.name, u"읽기.txt");
  EXPECT_EQ(file.parentRecordNumber, 16u);
  EXPECT_FALSE(file.isFolder);
  EXPECT_EQ(file.size, 300u);  // $DATA wins over the $FILE_NAME size
  EXPECT_EQ(file.sequenceNumber, 7u);
  EXPECT_EQ(s.entries[2].recordNumber, 21u);

  EXPECT_EQ(s.counters.delivered, 3u);
  EXPECT_EQ(s.counters.nameless, 1u);
  EXPECT_EQ(s.counters.inUse, 16u + 4u);  // records 0..15 are in use too
  EXPECT_EQ(s.counters.damaged, 0u);
  EXPECT_EQ(s.counters.ioErrors, 0u);
  EXPECT_EQ(s.counters.recordsRead, 256u);
  EXPECT_EQ(s.counters.unused, 256u - 21u);
  ASSERT_FALSE(s.progress.empty());
  EXPECT_EQ(s.progress.front(), std::make_pair(uint64_t{0}, uint64_t{256}));
  EXPECT_EQ(s.progress.back(), std::make_pair(uint64_t{256}, uint64_t{256}));
}

TEST(MftScanTest, NamespacesLongNameWins) {
  VolumeBuilder b;
  // DOS then Win32: the Win32 name.
  b.SetRecord(16, RB().FileName(5, u"LONGFI~1.TXT", test::kDos)
                      .FileName(5, u"long file.txt", test::kWin32)
                      .Finish());
  // Only a DOS name: that one.
  b.SetRecord(17, RB().FileName(5, u"ONLY.TXT", test::kDos).Finish());
  // Two POSIX names: the first.
  b.SetRecord(
      18, RB().FileName(5, u"first", test::kPosix).FileName(7, u"second", test::kPosix).Finish());
  // Two Win32 names (hard links): the last, with its parent.
  b.SetRecord(19,
              RB().FileName(5, u"a", test::kWin32).FileName(16, u"b", test::kWin32AndDos).Finish());
  // DOS before a POSIX long name: the long name.
  b.SetRecord(20,
              RB().FileName(5, u"CASE~1", test::kDos).FileName(5, u"Case", test::kPosix).Finish());
  // A Win32 name, then a DOS alias: the Win32 name.
  b.SetRecord(22, RB().FileName(5, u"Program Files", test::kWin32)
                      .FileName(5, u"PROGRA~1", test::kDos)
                      .Finish());
  BoundVolume vol(b, "names");
  test::ScanResult s = test::ScanVolume(u'V');
  ASSERT_EQ(s.entries.size(), 6u);
  EXPECT_EQ(s.Find(16)->name, u"long file.txt");
  EXPECT_EQ(s.Find(17)->name, u"ONLY.TXT");
  EXPECT_EQ(s.Find(18)->name, u"first");
  EXPECT_EQ(s.Find(18)->parentRecordNumber, 5u);
  EXPECT_EQ(s.Find(19)->name, u"b");
  EXPECT_EQ(s.Find(19)->parentRecordNumber, 16u);
  EXPECT_EQ(s.Find(20)->name, u"Case");
  EXPECT_EQ(s.Find(22)->name, u"Program Files");
}

TEST(MftScanTest, DamagedAttributesAreSkipped) {
  VolumeBuilder b;
  // A name longer than its value: neither the name nor its parent is taken.
  ByteVec shortValue = test::FileNameValue(40, u"abcdef", test::kWin32);
  shortValue[0x40] = 50;
  b.SetRecord(16, RB().FileName(5, u"good", test::kDos).Resident(0x30, shortValue).Finish());
  b.SetRecord(17, RB().Resident(0x30, shortValue).Finish());
  // A resident value that runs past its attribute.
  ByteVec past = RB().FileName(5, u"past", test::kWin32).Finish();
  test::PutLe(past, 0x38 + 0x10, 0x300, 4);
  b.SetRecord(18, RB(1024).FileName(5, u"x", test::kWin32).Finish());
  // An attribute length past the end of the record.
  ByteVec longAttr = RB().FileName(5, u"long", test::kWin32).FileName(5, u"y", test::kDos).Finish();
  const size_t second = 0x38 + test::GetLe(longAttr, 0x38 + 4, 4);
  test::PutLe(longAttr, second + 4, 0x1000, 4);
  // A torn write: one sector-end word differs.
  ByteVec torn = RB().FileName(5, u"torn", test::kWin32).Finish();
  torn[1022] ^= 0xFF;
  // Not a record at all.
  ByteVec junk(1024, 0xA5);
  BoundVolume vol(
      [&] {
        b.SetRecord(19, past);
        b.SetRecord(20, longAttr);
        b.SetRecord(21, torn);
        b.SetRecord(22, junk);
        b.SetRecord(23, RB().FileName(5, u"after", test::kWin32).Finish());
        return b;
      }(),
      "damaged");
  test::ScanResult s = test::ScanVolume(u'V');
  ASSERT_NE(s.Find(16), nullptr);
  EXPECT_EQ(s.Find(16)->name, u"good");
  EXPECT_EQ(s.Find(16)->parentRecordNumber, 5u);
  EXPECT_EQ(s.Find(17), nullptr);
  EXPECT_EQ(s.Find(19), nullptr);
  EXPECT_EQ(s.Find(20), nullptr);
  EXPECT_EQ(s.Find(21), nullptr);
  ASSERT_NE(s.Find(23), nullptr);  // neighbours of damaged records are delivered
  EXPECT_EQ(s.Find(18)->name, u"x");
  EXPECT_EQ(s.counters.damaged, 3u);   // 20 (attribute), 21 (fixups), 22 (signature)
  EXPECT_EQ(s.counters.nameless, 2u);  // 17, 19
  EXPECT_EQ(s.counters.ioErrors, 0u);
}

TEST(MftScanTest, SizesFromData) {
  VolumeBuilder b;
  b.SetRecord(16, RB().FileName(5, u"big", test::kWin32, 10)
                      .NonResident(0x80, test::EncodeRuns({{3, 900}}), 10000)
                      .Finish());
  // A named stream does not give the file's size.
  b.SetRecord(
      17,
      RB().FileName(5, u"ads", test::kWin32, 7).Resident(0x80, ByteVec(50, 1), u"Zone").Finish());
  // An empty unnamed $DATA replaces the $FILE_NAME size with 0.
  b.SetRecord(18, RB().FileName(5, u"empty", test::kWin32, 7).Data({}).Finish());
  BoundVolume vol(b, "sizes");
  test::ScanResult s = test::ScanVolume(u'V');
  EXPECT_EQ(s.Find(16)->size, 10000u);
  EXPECT_EQ(s.Find(17)->size, 7u);
  EXPECT_EQ(s.Find(18)->size, 0u);
}

TEST(MftScanTest, NamesAndSizesThroughAttributeLists) {
  VolumeBuilder b;
  // 30: the name and the data live in extension record 40.
  b.SetRecord(
      30,
      RB().StandardInfo(5, 6, 0x20)
          .Resident(0x20, test::AttributeListValue({{0x10, 0, 30}, {0x30, 0, 40}, {0x80, 0, 40}}))
          .Finish());
  b.SetRecord(40, WithBase(RB().FileName(16, u"moved.doc", test::kWin32, 3)
                               .NonResident(0x80, test::EncodeRuns({{2, 1000}}), 5000)
                               .Finish(),
                           30));
  // 31: a DOS name at home, the long name in extension record 41.
  b.SetRecord(31, RB().Resident(0x20, test::AttributeListValue({{0x30, 0, 31}, {0x30, 0, 41}}))
                      .FileName(16, u"ANALYS~1.DOC", test::kDos)
                      .Data(ByteVec(10, 1))
                      .Finish());
  b.SetRecord(41,
              WithBase(RB().FileName(16, u"analysis of results.doc", test::kWin32).Finish(), 31));
  // 32: a stale list points at 42, which belongs to another file now.
  b.SetRecord(32, RB().Resident(0x20, test::AttributeListValue({{0x30, 0, 42}}))
                      .FileName(16, u"STALE~1", test::kDos)
                      .Finish());
  b.SetRecord(42, WithBase(RB().FileName(16, u"not mine", test::kWin32).Finish(), 33));
  // 34: the list itself non-resident, in cluster 600.
  ByteVec list = test::AttributeListValue({{0x10, 0, 34}, {0x30, 0, 43}});
  b.Put(600 * 4096, list);
  b.SetRecord(34, RB().NonResident(0x20, test::EncodeRuns({{1, 600}}), list.size()).Finish());
  b.SetRecord(43, WithBase(RB().FileName(16, u"far list", test::kWin32).Finish(), 34));
  b.SetRecord(16, RB(1024, kFolder).FileName(5, u"dir", test::kWin32).Finish());
  BoundVolume vol(b, "lists");
  test::ScanResult s = test::ScanVolume(u'V');
  ASSERT_TRUE(s.scanned);

  ASSERT_NE(s.Find(30), nullptr);
  EXPECT_EQ(s.Find(30)->name, u"moved.doc");
  EXPECT_EQ(s.Find(30)->parentRecordNumber, 16u);
  EXPECT_EQ(s.Find(30)->size, 5000u);
  EXPECT_EQ(s.Find(30)->modificationTime, 6u);
  ASSERT_NE(s.Find(31), nullptr);
  EXPECT_EQ(s.Find(31)->name, u"analysis of results.doc");
  ASSERT_NE(s.Find(32), nullptr);
  EXPECT_EQ(s.Find(32)->name, u"STALE~1");
  ASSERT_NE(s.Find(34), nullptr);
  EXPECT_EQ(s.Find(34)->name, u"far list");
  // Extension records are never entries of their own.
  for (uint64_t ext : {40u, 41u, 42u, 43u}) EXPECT_EQ(s.Find(ext), nullptr) << ext;
  EXPECT_EQ(s.counters.extensions, 4u);
}

TEST(MftScanTest, StopFromCallbackReportsWhereItStopped) {
  VolumeBuilder b;
  for (uint64_t n = 16; n < 40; ++n) b.SetRecord(n, RB().FileName(5, u"f", test::kWin32).Finish());
  BoundVolume vol(b, "stop");
  test::ScanResult s = test::ScanVolume(u'V', 3);
  EXPECT_EQ(s.entries.size(), 3u);
  ASSERT_FALSE(s.progress.empty());
  // The whole MFT fits one batch, which starts at record 0.
  EXPECT_EQ(s.progress.back(), std::make_pair(uint64_t{0}, uint64_t{0}));
}

// Enough records for several batches and the read-ahead thread, over a
// fragmented MFT, with an unreadable tail.
TEST(MftScanTest, ManyRecordsInOrderWithProgress) {
  VolumeSpec layout;
  layout.mftExtents = {{3000, 2000}, {16, 2000}, {6000, 1000}};
  layout.totalClusters = 7000;
  VolumeBuilder b(layout);
  const uint64_t count = b.RecordCount();  // 20,000
  for (uint64_t n = 16; n < count; ++n) {
    if (n % 7 == 0) continue;
    b.SetRecord(
        n,
        RB().FileName(5, u"n" + std::u16string(1, char16_t(u'a' + n % 26)), test::kWin32).Finish());
  }
  // Cut the image inside the last extent: its last 500 clusters (2000
  // records) are missing.
  b.Image().resize(6500ull * 4096);
  BoundVolume vol(b, "many");
  test::ScanResult s = test::ScanVolume(u'V');
  ASSERT_TRUE(s.scanned);
  uint64_t expectedDelivered = 0;
  for (uint64_t n = 16; n < count - 2000; ++n) expectedDelivered += n % 7 != 0;
  EXPECT_EQ(s.entries.size(), expectedDelivered);
  for (size_t i = 1; i < s.entries.size(); ++i)
    ASSERT_LT(s.entries[i - 1].recordNumber, s.entries[i].recordNumber);
  EXPECT_EQ(s.counters.ioErrors, 2000u);
  EXPECT_EQ(s.counters.damaged, 0u);
  ASSERT_GE(s.progress.size(), 3u);
  for (size_t i = 1; i < s.progress.size(); ++i)
    EXPECT_LE(s.progress[i - 1].first, s.progress[i].first);
  EXPECT_EQ(s.progress.back(), std::make_pair(count, count));
}

TEST(MftScanTest, ImplausibleMftSizeIsBoundedByItsExtents) {
  VolumeSpec layout;
  layout.mftBytesOverride = uint64_t{1} << 50;
  VolumeBuilder b(layout);
  b.SetRecord(16, RB().FileName(5, u"only", test::kWin32).Finish());
  BoundVolume vol(b, "hugesize");
  test::ScanResult s = test::ScanVolume(u'V');
  ASSERT_EQ(s.entries.size(), 1u);
  EXPECT_EQ(s.counters.expected, 256u);
}

// The boot sector and record 0 claim 4 TiB and 2^20 clusters of MFT; the
// device holds 16 MiB.
TEST(MftScanTest, RecordCountIsBoundByTheDevice) {
  VolumeBuilder b;
  constexpr uint64_t kClusters = uint64_t{1} << 20;
  b.SetRecord(0, RB().FileName(5, u"$MFT", test::kWin32AndDos)
                     .NonResident(0x80, test::EncodeRuns({{kClusters, 16}}), kClusters * 4096, 0,
                                  kClusters - 1)
                     .Finish());
  test::PutLe(b.Image(), 0x28, uint64_t{1} << 33, 8);
  BoundVolume vol(b, "device-bound");
  test::ScanResult s = test::ScanVolume(u'V');
  ASSERT_TRUE(s.scanned);
  EXPECT_EQ(s.counters.expected, b.Image().size() / 1024);
}

// Extents that map clusters already read (each record read twice over) or
// lie past the volume are damage: dropped and counted, the rest still read.
TEST(MftScanTest, OverlappingAndOutOfVolumeExtentsAreDamage) {
  VolumeSpec layout;
  layout.mftExtents = {{16, 64}, {48, 32}, {5000, 8}};
  VolumeBuilder b(layout);
  b.SetRecord(130, RB().FileName(5, u"once", test::kWin32).Finish());  // cluster 48
  BoundVolume vol(b, "overlap");
  test::ScanResult s = test::ScanVolume(u'V');
  ASSERT_TRUE(s.scanned);
  ASSERT_EQ(s.entries.size(), 1u);
  EXPECT_EQ(s.entries[0].recordNumber, 130u);
  EXPECT_EQ(s.counters.damagedExtents, 2u);
}

// Record 16's list names 5,000 extension records of its own, each four times
// over: the scan reads a bounded number of them, each once.
TEST(MftScanTest, AnAttributeListCannotMultiplyRecordReads) {
  VolumeSpec layout;
  layout.mftExtents = {{16, 1400}};
  VolumeBuilder b(layout);
  std::vector<test::ListEntry> entries;
  for (int pass = 0; pass < 4; ++pass)
    for (uint64_t r = 17; r < 5017; ++r) entries.push_back({0x30, 0, r});
  const ByteVec list = test::AttributeListValue(entries);
  b.Put(2000 * 4096, list);
  b.SetRecord(
      16, RB().NonResident(0x20, test::EncodeRuns({{list.size() / 4096 + 1, 2000}}), list.size())
              .Finish());
  for (uint64_t r = 17; r < 5017; ++r) b.SetRecord(r, WithBase(RB().Finish(), 16));
  BoundVolume vol(b, "list-bomb");
  VolumeReader reader;
  ASSERT_TRUE(reader.Open(u'V'));
  ScanCounters counters;
  ASSERT_TRUE(ScanMft(reader, {}, {}, &counters));
  EXPECT_LE(reader.singleReads, ntfs::kMaxListRecords + 16);
}

#endif  // _WIN32

TEST(ParseRecordTest, ExtensionRecordsAreNotEntries) {
  VolumeReader reader;  // not open: lists cannot be followed
  ByteVec ext = WithBase(RB().FileName(5, u"part", test::kWin32).Finish(), 77);
  ntfs::ApplyFixups(ext.data(), ext.size());
  ScanRecord e;
  EXPECT_FALSE(ParseRecord(reader, ext.data(), e));
  ByteVec base = RB().FileName(5, u"whole", test::kWin32).Finish();
  ntfs::ApplyFixups(base.data(), base.size());
  EXPECT_TRUE(ParseRecord(reader, base.data(), e));
  EXPECT_EQ(e.name, u"whole");
}

}  // namespace
}  // namespace zw

namespace zw {
namespace {

#ifndef _WIN32
ByteVec NonResidentAttribute(const ByteVec& runs, uint64_t size) {
  // The attribute bytes as they sit in a record, end marker excluded.
  ByteVec r = test::RecordBuilder().NonResident(0x20, runs, size).Finish();
  const size_t length = test::GetLe(r, 0x38 + 4, 4);
  return ByteVec(r.begin() + 0x38, r.begin() + 0x38 + length);
}

TEST(ReadNonResidentTest, ReadsRunsAndHolesExactly) {
  test::VolumeBuilder b;
  ByteVec a(4096, 0), c(4096, 0);
  for (size_t i = 0; i < a.size(); ++i) a[i] = static_cast<uint8_t>(i * 7 + 1);
  for (size_t i = 0; i < c.size(); ++i) c[i] = static_cast<uint8_t>(i * 3 + 2);
  b.Put(700 * 4096, a);
  b.Put(650 * 4096, c);
  test::BoundVolume vol(b, "nonresident");
  VolumeReader reader;
  ASSERT_TRUE(reader.Open(u'V'));

  // One cluster at 700, a hole of one, then 1000 bytes of cluster 650.
  const uint64_t size = 2 * 4096 + 1000;
  ByteVec attr = NonResidentAttribute(test::EncodeRuns({{1, 700}, {1, 0, true}, {1, -50}}), size);
  std::vector<uint8_t> out;
  ASSERT_TRUE(ReadNonResident(reader, attr.data(), attr.size(), out));
  ASSERT_EQ(out.size(), size);
  EXPECT_TRUE(std::equal(a.begin(), a.end(), out.begin()));
  EXPECT_TRUE(
      std::all_of(out.begin() + 4096, out.begin() + 8192, [](uint8_t v) { return v == 0; }));
  EXPECT_TRUE(std::equal(c.begin(), c.begin() + 1000, out.begin() + 8192));

  // Runs that cannot fill the stated size, a size above 16 MiB, a resident
  // attribute, and a header cut short all fail.
  ByteVec shortRuns = NonResidentAttribute(test::EncodeRuns({{1, 700}}), 16u * 1024 * 1024);
  EXPECT_FALSE(ReadNonResident(reader, shortRuns.data(), shortRuns.size(), out));
  ByteVec huge = NonResidentAttribute(test::EncodeRuns({{5000, 700}}), 17u * 1024 * 1024);
  EXPECT_FALSE(ReadNonResident(reader, huge.data(), huge.size(), out));
  ByteVec resident = test::RecordBuilder().Resident(0x20, ByteVec(40, 1)).Finish();
  EXPECT_FALSE(ReadNonResident(reader, resident.data() + 0x38, 0x40, out));
  EXPECT_FALSE(ReadNonResident(reader, attr.data(), 0x30, out));
}

#endif  // _WIN32

}  // namespace
}  // namespace zw
