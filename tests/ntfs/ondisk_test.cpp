// Boot sector geometry, record fixups, the attribute walk and run lists, on
// bytes crafted here.
#include <gtest/gtest.h>

#include "ntfs/boot_sector.h"
#include "ntfs/record.h"
#include "ntfs/run_list.h"
#include "support/ntfs_builder.h"

namespace zw {
namespace {

using ntfs::BootSector;
using ntfs::BootSectorStatus;
using test::ByteVec;
using test::PutLe;

ByteVec Boot(uint16_t bps, uint8_t spc, uint8_t cpr) {
  ByteVec b(512, 0);
  std::memcpy(b.data() + 3, "NTFS    ", 8);
  PutLe(b, 0x0B, bps, 2);
  b[0x0D] = spc;
  PutLe(b, 0x30, 4, 8);
  b[0x40] = cpr;
  return b;
}

BootSectorStatus Parse(const ByteVec& b, BootSector& out) {
  return ntfs::ParseBootSector(b.data(), b.size(), out);
}

TEST(BootSectorTest, GeometryFromTheUsualEncodings) {
  BootSector g;
  ASSERT_EQ(Parse(Boot(512, 8, 0xF6), g), BootSectorStatus::Ok);
  EXPECT_EQ(g.bytesPerCluster, 4096u);
  EXPECT_EQ(g.bytesPerRecord, 1024u);
  EXPECT_EQ(g.mftStartCluster, 4u);
  // A positive count is in clusters.
  ASSERT_EQ(Parse(Boot(512, 8, 1), g), BootSectorStatus::Ok);
  EXPECT_EQ(g.bytesPerRecord, 4096u);
  ASSERT_EQ(Parse(Boot(4096, 1, 1), g), BootSectorStatus::Ok);
  EXPECT_EQ(g.bytesPerRecord, 4096u);
  EXPECT_EQ(g.bytesPerSector, 4096u);
}

TEST(BootSectorTest, LargeClustersAreNegativePowersOfTwo) {
  BootSector g;
  ASSERT_EQ(Parse(Boot(512, 0xF4, 0xF6), g), BootSectorStatus::Ok);  // 2^12 sectors
  EXPECT_EQ(g.bytesPerCluster, 2u * 1024 * 1024);
  EXPECT_EQ(g.bytesPerRecord, 1024u);
  ASSERT_EQ(Parse(Boot(512, 0x80, 0xF6), g), BootSectorStatus::Ok);  // 128 sectors, plain
  EXPECT_EQ(g.bytesPerCluster, 64u * 1024);
  EXPECT_EQ(Parse(Boot(512, 0xF3, 0xF6), g), BootSectorStatus::Damaged);  // 4 MiB
  EXPECT_EQ(Parse(Boot(512, 0x81, 0xF6), g), BootSectorStatus::Damaged);  // 2^127
}

TEST(BootSectorTest, ZeroOrImpossibleGeometryIsDamaged) {
  BootSector g;
  EXPECT_EQ(Parse(Boot(0, 8, 0xF6), g), BootSectorStatus::Damaged);
  EXPECT_EQ(Parse(Boot(512, 0, 0xF6), g), BootSectorStatus::Damaged);
  EXPECT_EQ(Parse(Boot(512, 8, 0), g), BootSectorStatus::Damaged);
  EXPECT_EQ(Parse(Boot(500, 8, 0xF6), g), BootSectorStatus::Damaged);
  EXPECT_EQ(Parse(Boot(512, 3, 0xF6), g), BootSectorStatus::Damaged);
  // Records above 64 KiB: 2^17 directly, and 32 clusters of 4 KiB.
  EXPECT_EQ(Parse(Boot(512, 8, 0xEF), g), BootSectorStatus::Damaged);
  EXPECT_EQ(Parse(Boot(512, 8, 32), g), BootSectorStatus::Damaged);
  EXPECT_EQ(Parse(Boot(512, 8, 16), g), BootSectorStatus::Ok);         // exactly 64 KiB
  EXPECT_EQ(Parse(Boot(512, 8, 0x80), g), BootSectorStatus::Damaged);  // 2^128
}

TEST(BootSectorTest, OtherFileSystemsAreNotNtfs) {
  BootSector g;
  ByteVec fat = Boot(512, 8, 0xF6);
  std::memcpy(fat.data() + 3, "MSDOS5.0", 8);
  EXPECT_EQ(Parse(fat, g), BootSectorStatus::NotNtfs);
  ByteVec exfat = Boot(512, 8, 0xF6);
  std::memcpy(exfat.data() + 3, "EXFAT   ", 8);
  EXPECT_EQ(Parse(exfat, g), BootSectorStatus::NotNtfs);
  EXPECT_EQ(ntfs::ParseBootSector(fat.data(), 100, g), BootSectorStatus::NotNtfs);
}

ByteVec RecordWithName(uint32_t size) {
  return test::RecordBuilder(size).FileName(5, u"name.txt", test::kWin32).Finish(0x0707);
}

TEST(FixupTest, RestoresEveryStrideOf512Bytes) {
  for (uint32_t size : {1024u, 4096u}) {
    ByteVec r = RecordWithName(size);
    for (size_t p = 510; p < size; p += 512) EXPECT_EQ(test::GetLe(r, p, 2), 0x0707u);
    ASSERT_EQ(ntfs::ApplyFixups(r.data(), r.size()), ntfs::FixupResult::Ok) << size;
    // The saved words were zeros in the unprotected record.
    for (size_t p = 510; p < size; p += 512) EXPECT_EQ(test::GetLe(r, p, 2), 0u) << p;
  }
}

TEST(FixupTest, MismatchOrShortArrayLeavesRecordUntouched) {
  ByteVec r = RecordWithName(4096);
  r[3 * 512 - 2] ^= 1;  // a torn write in the third stride
  const ByteVec before = r;
  EXPECT_EQ(ntfs::ApplyFixups(r.data(), r.size()), ntfs::FixupResult::Mismatch);
  EXPECT_EQ(r, before);

  ByteVec s = RecordWithName(4096);
  PutLe(s, 0x06, 3, 2);  // as if the strides were 4096 bytes
  EXPECT_EQ(ntfs::ApplyFixups(s.data(), s.size()), ntfs::FixupResult::BadHeader);
  ByteVec t = RecordWithName(1024);
  PutLe(t, 0x04, 1020, 2);  // array past the record
  EXPECT_EQ(ntfs::ApplyFixups(t.data(), t.size()), ntfs::FixupResult::BadHeader);
}

std::vector<uint32_t> WalkTypes(const ByteVec& r, bool* damaged = nullptr) {
  ntfs::AttributeWalker w(ntfs::Bytes{r.data(), r.size()});
  ntfs::Attribute a;
  std::vector<uint32_t> types;
  while (w.Next(a)) types.push_back(a.Type());
  if (damaged) *damaged = w.Damaged();
  return types;
}

TEST(AttributeWalkTest, StopsAtDamagedLengths) {
  test::RecordBuilder b;
  b.StandardInfo(1, 2, 3).FileName(5, u"a", test::kWin32);
  ByteVec r = b.Finish();
  ntfs::ApplyFixups(r.data(), r.size());
  bool damaged = true;
  EXPECT_EQ(WalkTypes(r, &damaged), (std::vector<uint32_t>{0x10, 0x30}));
  EXPECT_FALSE(damaged);

  const size_t second = 0x38 + test::GetLe(r, 0x38 + 4, 4);
  ByteVec past = r;
  PutLe(past, second + 4, 2000, 4);  // runs past the record
  EXPECT_EQ(WalkTypes(past, &damaged), (std::vector<uint32_t>{0x10}));
  EXPECT_TRUE(damaged);
  ByteVec tiny = r;
  PutLe(tiny, second + 4, 8, 4);
  EXPECT_EQ(WalkTypes(tiny, &damaged), (std::vector<uint32_t>{0x10}));
  EXPECT_TRUE(damaged);
  ByteVec firstOut = r;
  PutLe(firstOut, 0x14, 1020, 2);  // first attribute offset at the very end
  EXPECT_TRUE(WalkTypes(firstOut).empty());
}

ntfs::Attribute AttributeOf(const ByteVec& raw) {
  ntfs::Attribute a;
  a.raw = ntfs::Bytes{raw.data(), raw.size()};
  return a;
}

TEST(AttributeWalkTest, ResidentValuePastItsAttributeIsEmpty) {
  ByteVec r = test::RecordBuilder().FileName(5, u"abc", test::kWin32).Finish();
  ntfs::ApplyFixups(r.data(), r.size());
  ntfs::AttributeWalker w(ntfs::Bytes{r.data(), r.size()});
  ntfs::Attribute a;
  ASSERT_TRUE(w.Next(a));
  EXPECT_EQ(a.Value().size, 0x42u + 6);
  ByteVec raw(a.raw.data, a.raw.data + a.raw.size);
  PutLe(raw, 0x10, raw.size(), 4);  // value length as long as the whole attribute
  EXPECT_TRUE(AttributeOf(raw).Value().Empty());
  PutLe(raw, 0x10, 8, 4);
  PutLe(raw, 0x14, 0xFFF0, 2);  // offset past the attribute
  EXPECT_TRUE(AttributeOf(raw).Value().Empty());
  // A non-resident header cut short has no run list.
  ByteVec nr(0x30, 0);
  nr[0x08] = 1;
  EXPECT_TRUE(AttributeOf(nr).RunList().Empty());
}

struct Decoded {
  std::vector<ntfs::DataRun> runs;
  ntfs::RunListEnd end;
};
Decoded Decode(const ByteVec& list, uint64_t firstVcn = 0) {
  ntfs::RunListDecoder d(ntfs::Bytes{list.data(), list.size()}, firstVcn);
  Decoded out;
  ntfs::DataRun r;
  while (d.Next(r)) out.runs.push_back(r);
  out.end = d.End();
  return out;
}

TEST(RunListTest, NegativeAndSparseRuns) {
  // 16 clusters at 0x1000, a sparse hole of 4, then 8 clusters 0x800 back.
  Decoded d = Decode(test::EncodeRuns({{16, 0x1000}, {4, 0, true}, {8, -0x800}}), 100);
  ASSERT_EQ(d.runs.size(), 3u);
  EXPECT_EQ(d.end, ntfs::RunListEnd::Terminator);
  EXPECT_EQ(d.runs[0].vcn, 100u);
  EXPECT_EQ(d.runs[0].lcn, 0x1000u);
  EXPECT_TRUE(d.runs[1].sparse);
  EXPECT_EQ(d.runs[1].vcn, 116u);
  EXPECT_EQ(d.runs[2].vcn, 120u);
  EXPECT_EQ(d.runs[2].lcn, 0x800u);
  // A one-byte offset 0xFF is -1, not 255.
  Decoded back = Decode({0x11, 0x01, 0x10, 0x11, 0x01, 0xFF, 0x00});
  ASSERT_EQ(back.runs.size(), 2u);
  EXPECT_EQ(back.runs[1].lcn, 0x0Fu);
}

TEST(RunListTest, BadHeadersStopButKeepEarlierRuns) {
  for (uint8_t bad : {uint8_t{0x09}, uint8_t{0x91}, uint8_t{0x10}}) {
    ByteVec list = {0x11, 0x04, 0x20};
    list.push_back(bad);
    list.insert(list.end(), 20, 0x01);
    Decoded d = Decode(list);
    ASSERT_EQ(d.runs.size(), 1u) << int(bad);
    EXPECT_EQ(d.runs[0].lcn, 0x20u);
    EXPECT_EQ(d.end, ntfs::RunListEnd::BadHeader);
  }
}

TEST(RunListTest, ArithmeticNeverWraps) {
  // An LCN that goes below 0.
  EXPECT_EQ(Decode({0x11, 0x01, 0x10, 0x11, 0x01, 0xE0, 0x00}).runs.size(), 1u);
  // Two huge positive offsets would overflow a 64-bit LCN.
  ByteVec huge = {0x81, 0x01, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x81,
                  0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00};
  Decoded h = Decode(huge);
  EXPECT_EQ(h.runs.size(), 1u);
  EXPECT_EQ(h.end, ntfs::RunListEnd::BadRun);
  // A length that would carry the VCN past 2^63.
  ByteVec longRun = {0x18, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  EXPECT_EQ(Decode(longRun).end, ntfs::RunListEnd::BadRun);
  // A run of 0 clusters, and a list cut inside a run.
  EXPECT_EQ(Decode({0x11, 0x00, 0x10, 0x00}).end, ntfs::RunListEnd::BadRun);
  Decoded cut = Decode({0x11, 0x01, 0x10, 0x32, 0x01});
  EXPECT_EQ(cut.runs.size(), 1u);
  EXPECT_EQ(cut.end, ntfs::RunListEnd::Truncated);
}

}  // namespace
}  // namespace zw
