// VolumeReader over crafted images bound as drives: geometry, MFT extents,
// single and batch record reads, and the ways opening can fail.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ntfs/record.h"
#include "scan_fixture.h"
#include "support/mft_read.h"

// Crafted images are bound through the POSIX drive table; on Windows the
// same reads are covered by windows_volume_test.cpp on drives Wine provides.
#ifndef _WIN32
namespace zw {
namespace {

using test::BoundVolume;
using test::ByteVec;
using test::RecordBuilder;
using test::VolumeBuilder;
using test::VolumeSpec;

ByteVec NamedRecord(uint32_t size, uint64_t parent, const std::u16string& name,
                    uint16_t flags = RecordBuilder::kInUse) {
  return RecordBuilder(size, flags)
      .StandardInfo(7, 8, 0x20)
      .FileName(parent, name, test::kWin32)
      .Finish();
}

std::u16string NameIn(const uint8_t* record, uint32_t size) {
  VolumeReader dummy;
  dummy.bytesPerRecord = size;
  ScanRecord e;
  return ParseRecord(dummy, record, e) ? e.name : u"";
}

TEST(VolumeReaderTest, OpensAndReadsRecords) {
  VolumeBuilder b;
  b.SetRecord(20, NamedRecord(1024, 5, u"twenty"));
  BoundVolume vol(b, "open");
  ASSERT_TRUE(vol.Written());

  VolumeReader r;
  ASSERT_TRUE(r.Open(u'V'));
  EXPECT_EQ(r.openStatus, OpenStatus::Ok);
  EXPECT_EQ(r.drive, u'V');
  EXPECT_EQ(r.bytesPerSector, 512u);
  EXPECT_EQ(r.bytesPerCluster, 4096u);
  EXPECT_EQ(r.bytesPerRecord, 1024u);
  EXPECT_EQ(r.mftStartCluster, 16u);
  RecordInfo info;
  ASSERT_TRUE(r.GetRecordInfo(info));
  EXPECT_EQ(info.recordCount, 256u);
  ASSERT_TRUE(r.layoutLoaded);
  ASSERT_EQ(r.runs.size(), 1u);
  EXPECT_EQ(r.runs[0].startLcn, 16u);
  EXPECT_EQ(r.runs[0].clusterCount, 64u);

  std::vector<uint8_t> rec(1024);
  ASSERT_TRUE(r.ReadRecord(20, rec.data()));
  EXPECT_EQ(NameIn(rec.data(), 1024), u"twenty");
  EXPECT_FALSE(r.ReadRecord(256, rec.data()));  // one past the end
  EXPECT_EQ(r.ReadRecordChecked(256, rec.data()), RecordStatus::OutOfRange);

  std::vector<uint8_t> batch(64 * 1024);
  ASSERT_TRUE(test::ReadRecordRun(r, 0, 64, batch.data()));
  EXPECT_EQ(ntfs::RecordSignature(ntfs::Bytes{batch.data() + 20 * 1024, 1024}),
            ntfs::kFileSignature);
  EXPECT_FALSE(test::ReadRecordRun(r, 250, 7, batch.data()));  // past the MFT's size

  r.Close();
  EXPECT_FALSE(r.handle.IsOpen());
  EXPECT_EQ(r.drive, 0);
  EXPECT_TRUE(r.runs.empty());
  EXPECT_FALSE(r.layoutLoaded);
  EXPECT_FALSE(r.GetRecordInfo(info));
  EXPECT_FALSE(r.ReadRecord(20, rec.data()));
}

TEST(VolumeReaderTest, OpenFailuresSayWhy) {
  VolumeReader r;
  platform::UnbindDrive(u'V');
  EXPECT_FALSE(r.Open(u'V'));
  EXPECT_EQ(r.openStatus, OpenStatus::Missing);

  VolumeBuilder fat;
  std::memcpy(fat.Image().data() + 3, "MSDOS5.0", 8);
  {
    BoundVolume vol(fat, "fat");
    EXPECT_FALSE(r.Open(u'V'));
    EXPECT_EQ(r.openStatus, OpenStatus::NotNtfs);
    EXPECT_FALSE(r.handle.IsOpen());
    EXPECT_EQ(r.drive, 0);
  }
  for (size_t field : {size_t{0x0B}, size_t{0x0D}, size_t{0x40}}) {
    VolumeBuilder zero;
    zero.Image()[field] = 0;
    zero.Image()[field + 1] = field == 0x0B ? 0 : zero.Image()[field + 1];
    BoundVolume vol(zero, "zero");
    EXPECT_FALSE(r.Open(u'V')) << field;
    EXPECT_EQ(r.openStatus, OpenStatus::DamagedBootSector) << field;
    EXPECT_FALSE(r.handle.IsOpen());
  }
  {
    VolumeBuilder big;
    big.Image()[0x40] = 0xEF;  // 128 KiB records
    BoundVolume vol(big, "bigrecord");
    EXPECT_FALSE(r.Open(u'V'));
    EXPECT_EQ(r.openStatus, OpenStatus::DamagedBootSector);
  }
  {
    // An image shorter than a boot sector.
    std::string path = test::ScratchDir("ntfs-short") + "/short.img";
    std::ofstream(path, std::ios::binary) << "NTFS";
    platform::BindDrive({u'V', path, 0, ""});
    EXPECT_FALSE(r.Open(u'V'));
    EXPECT_NE(r.openStatus, OpenStatus::Ok);
    platform::UnbindDrive(u'V');
  }
}

VolumeSpec Fragmented() {
  VolumeSpec s;
  // 8 clusters, then 8 far ahead, then 48 behind the second (negative step).
  s.mftExtents = {{16, 8}, {400, 8}, {100, 48}};
  s.totalClusters = 512;
  return s;
}

TEST(VolumeReaderTest, FragmentedMftAndBatchesInsideOneExtent) {
  VolumeBuilder b(Fragmented());
  for (uint64_t n : {31u, 32u, 33u, 63u, 64u, 255u})
    b.SetRecord(n, NamedRecord(1024, 5, u"r" + std::u16string(1, char16_t(u'0' + n % 10))));
  BoundVolume vol(b, "fragmented");
  VolumeReader r;
  ASSERT_TRUE(r.Open(u'V'));
  ASSERT_TRUE(r.LoadMftLayout());
  ASSERT_EQ(r.runs.size(), 3u);
  EXPECT_EQ(r.runs[1].startVcn, 8u);
  EXPECT_EQ(r.runs[1].startLcn, 400u);
  EXPECT_EQ(r.runs[2].startLcn, 100u);
  std::vector<uint8_t> rec(1024);
  for (uint64_t n : {31u, 32u, 33u, 63u, 64u, 255u}) {
    ASSERT_TRUE(r.ReadRecord(n, rec.data())) << n;
    EXPECT_EQ(NameIn(rec.data(), 1024), u"r" + std::u16string(1, char16_t(u'0' + n % 10)));
  }
  std::vector<uint8_t> batch(8 * 1024);
  EXPECT_FALSE(test::ReadRecordRun(r, 30, 4, batch.data()));  // straddles extents 1 and 2
  EXPECT_TRUE(test::ReadRecordRun(r, 32, 8, batch.data()));
  EXPECT_EQ(NameIn(batch.data() + 1024, 1024), u"r3");
}

TEST(VolumeReaderTest, MftExtentsListedInOtherRecords) {
  VolumeSpec s;
  s.mftExtents = {{16, 8}, {300, 56}};
  s.totalClusters = 512;
  VolumeBuilder b(s);
  // Record 0 keeps only the first extent and lists where the rest is.
  RecordBuilder zero(1024, 1);
  zero.StandardInfo(1, 1, 6);
  zero.Resident(
      0x20, test::AttributeListValue({{0x10, 0, 0}, {0x30, 0, 0}, {0x80, 0, 0}, {0x80, 8, 15}}));
  zero.FileName(5, u"$MFT", test::kWin32AndDos);
  zero.NonResident(0x80, test::EncodeRuns({{8, 16}}), b.RecordCount() * 1024, 0, 7);
  b.SetRecord(0, zero.Finish());
  RecordBuilder ext(1024, 1, 0);
  ext.NonResident(0x80, test::EncodeRuns({{56, 300}}), 0, 8, 63);
  ByteVec extBytes = ext.Finish();
  test::PutLe(extBytes, 0x20, uint64_t{1} << 48, 8);  // base: record 0, sequence 1
  b.SetRecord(15, extBytes);
  b.SetRecord(200, NamedRecord(1024, 5, u"far"));
  BoundVolume vol(b, "mftlist");

  VolumeReader r;
  ASSERT_TRUE(r.Open(u'V'));
  ASSERT_TRUE(r.LoadMftLayout());
  ASSERT_EQ(r.runs.size(), 2u);
  EXPECT_EQ(r.runs[1].startVcn, 8u);
  EXPECT_EQ(r.runs[1].startLcn, 300u);
  std::vector<uint8_t> rec(1024);
  ASSERT_TRUE(r.ReadRecord(200, rec.data()));
  EXPECT_EQ(NameIn(rec.data(), 1024), u"far");
  r.Close();

  test::ScanResult scan = test::ScanVolume(u'V');
  ASSERT_TRUE(scan.scanned);
  ASSERT_NE(scan.Find(200), nullptr);
  EXPECT_EQ(scan.Find(200)->name, u"far");
}

// On disks with 4096-byte sectors the volume accepts only 4096-byte aligned
// reads, even where records are 1024 bytes.
TEST(VolumeReaderTest, FourKSectors) {
  for (int8_t cpr : {int8_t{1}, int8_t{-10}}) {
    VolumeSpec s;
    s.bytesPerSector = 4096;
    s.sectorsPerClusterByte = 1;
    s.clustersPerRecord = cpr;
    s.bytesPerRecord = cpr == 1 ? 4096 : 1024;
    VolumeBuilder b(s);
    b.SetRecord(17, NamedRecord(s.bytesPerRecord, 5, u"seventeen"));
    b.SetRecord(18, NamedRecord(s.bytesPerRecord, 5, u"eighteen"));
    BoundVolume vol(b, "4k");
    VolumeReader r;
    ASSERT_TRUE(r.Open(u'V'));
    ASSERT_EQ(r.bytesPerSector, 4096u);
    EXPECT_EQ(r.bytesPerRecord, s.bytesPerRecord);
    std::vector<uint8_t> rec(s.bytesPerRecord);
    ASSERT_TRUE(r.ReadRecord(17, rec.data())) << int(cpr);
    EXPECT_EQ(NameIn(rec.data(), s.bytesPerRecord), u"seventeen");
    ASSERT_TRUE(r.ReadRecord(18, rec.data())) << int(cpr);
    EXPECT_EQ(NameIn(rec.data(), s.bytesPerRecord), u"eighteen");
    r.Close();
    test::ScanResult scan = test::ScanVolume(u'V');
    ASSERT_EQ(scan.entries.size(), 2u) << int(cpr);
    EXPECT_EQ(scan.counters.damaged, 0u);
  }
}

TEST(VolumeReaderTest, MftWithoutDecodableRunsIsReadAsContiguous) {
  VolumeBuilder b;
  RecordBuilder zero(1024, 1);
  zero.FileName(5, u"$MFT", test::kWin32);
  zero.NonResident(0x80, {0x09, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0}, 256 * 1024);
  b.SetRecord(0, zero.Finish());
  b.SetRecord(40, NamedRecord(1024, 5, u"forty"));
  BoundVolume vol(b, "norun");
  VolumeReader r;
  ASSERT_TRUE(r.Open(u'V'));
  EXPECT_FALSE(r.LoadMftLayout());
  std::vector<uint8_t> rec(1024);
  ASSERT_TRUE(r.ReadRecord(40, rec.data()));
  EXPECT_FALSE(test::ReadRecordRun(r, 32, 8, rec.data()));
  r.Close();
  test::ScanResult scan = test::ScanVolume(u'V');
  ASSERT_NE(scan.Find(40), nullptr);
  EXPECT_EQ(scan.counters.expected, 256u);
}

}  // namespace
}  // namespace zw

#endif  // _WIN32
