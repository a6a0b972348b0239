// Records, MFTs and volumes written by Windows itself, checked against what
// The Sleuth Kit lists for the same volumes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "base/utf.h"
#include "ntfs/record.h"
#include "ntfs/run_list.h"
#include "scan_fixture.h"
#include "support/real_images.h"

// Crafted images are bound through the POSIX drive table; on Windows the
// same reads are covered by windows_volume_test.cpp on drives Wine provides.
#ifndef _WIN32
namespace zw {
namespace {

namespace fs = std::filesystem;
using test::ByteVec;

std::string RealDir() {
  return test::TestDataDir() + "/ntfs-real";
}

ByteVec ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return ByteVec(std::istreambuf_iterator<char>(in), {});
}

std::string CharlieImage() {
  return test::RealImagePath(test::RealImage::Charlie);
}
std::string VssImage() {
  return test::RealImagePath(test::RealImage::VssTest);
}
std::string Win10Image() {
  return test::RealImagePath(test::RealImage::Windows20H1);
}

// record -> every path fls gives it.
std::map<uint64_t, std::set<std::string>> FlsListing(const std::string& name) {
  std::map<uint64_t, std::set<std::string>> out;
  std::ifstream in(RealDir() + "/expected/" + name);
  std::string line;
  while (std::getline(in, line)) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos || line.rfind("V/V", 0) == 0) continue;
    // A file listed only by its named streams ($Extend/$ObjId:$O) is
    // still one entry.
    std::string path = line.substr(tab + 1);
    const size_t colon = path.find(':', path.rfind('/') == std::string::npos ? 0 : path.rfind('/'));
    if (colon != std::string::npos) path.resize(colon);
    const size_t space = line.find(' ');
    out[std::stoull(line.substr(space + 1))].insert(path);
  }
  return out;
}

// The entry's path from the root, as fls prints it; empty when a parent is
// missing.
std::string PathOf(const std::map<uint64_t, const ScanRecord*>& byRecord, uint64_t record) {
  std::string path;
  for (int depth = 0; depth < 64 && record != 5; ++depth) {
    auto it = byRecord.find(record);
    if (it == byRecord.end()) return "";
    path = ToUtf8(it->second->name) + (path.empty() ? "" : "/" + path);
    record = it->second->parentRecordNumber;
  }
  return record == 5 ? path : "";
}

// The scan never delivers records 0..15, but paths pass through $Extend.
std::vector<ScanRecord> MetadataEntries(char16_t letter) {
  std::vector<ScanRecord> out;
  VolumeReader reader;
  if (!reader.Open(letter)) return out;
  std::vector<uint8_t> record(reader.bytesPerRecord);
  for (uint64_t n = 0; n < 16; ++n) {
    ScanRecord e;
    e.recordNumber = n;
    if (reader.ReadRecord(n, record.data()) && ParseRecord(reader, record.data(), e))
      out.push_back(e);
  }
  return out;
}

void ExpectListingMatches(const test::ScanResult& scan, const std::string& fls, char16_t letter) {
  ASSERT_TRUE(scan.scanned);
  const auto expected = FlsListing(fls);
  ASSERT_FALSE(expected.empty());
  std::map<uint64_t, const ScanRecord*> byRecord;
  for (const ScanRecord& e : scan.entries) byRecord[e.recordNumber] = &e;
  const std::vector<ScanRecord> meta = MetadataEntries(letter);
  for (const ScanRecord& e : meta) byRecord.emplace(e.recordNumber, &e);

  std::set<uint64_t> wanted;
  for (const auto& [record, paths] : expected)
    if (record >= 16) wanted.insert(record);
  std::set<uint64_t> got;
  for (const ScanRecord& e : scan.entries) got.insert(e.recordNumber);
  EXPECT_EQ(got, wanted);
  for (const ScanRecord& e : scan.entries) {
    auto it = expected.find(e.recordNumber);
    if (it == expected.end()) continue;
    const std::string path = PathOf(byRecord, e.recordNumber);
    EXPECT_TRUE(it->second.count(path)) << "record " << e.recordNumber << " as " << path;
  }
  EXPECT_EQ(scan.counters.damaged, 0u);
  EXPECT_EQ(scan.counters.ioErrors, 0u);
}

TEST(RealRecordsTest, SingleRecords) {
  const std::string dir = RealDir() + "/mft/records/";
  VolumeReader reader;  // closed: nothing outside the record is read
  ScanRecord e;

  ByteVec torn = ReadFile(dir + "mft-entry_102130_fixup_issue.bin");
  ASSERT_EQ(torn.size(), 1024u);
  EXPECT_EQ(ntfs::ApplyFixups(torn.data(), torn.size()), ntfs::FixupResult::Mismatch);

  ByteVec single = ReadFile(dir + "mft-entry_single_file.bin");
  ASSERT_EQ(ntfs::ApplyFixups(single.data(), single.size()), ntfs::FixupResult::Ok);
  e.isFolder = false;
  ASSERT_TRUE(ParseRecord(reader, single.data(), e));
  EXPECT_EQ(e.name, u"test_cfuncs.py");  // the DOS alias comes first in the record
  EXPECT_EQ(e.parentRecordNumber, 26359u);
  EXPECT_GT(e.size, 0u);
  EXPECT_NE(e.modificationTime, 0u);

  ByteVec folder = ReadFile(dir + "mft-entry_multiple_index_root_entries.bin");
  ASSERT_EQ(ntfs::ApplyFixups(folder.data(), folder.size()), ntfs::FixupResult::Ok);
  ScanRecord f;
  f.isFolder = true;
  ASSERT_TRUE(ParseRecord(reader, folder.data(), f));
  EXPECT_EQ(f.name, u"test");
  EXPECT_EQ(f.parentRecordNumber, 26354u);
  EXPECT_EQ(f.size, 0u);

  ByteVec ext = ReadFile(dir + "mft-entry_data_run_at_offset.bin");
  ASSERT_EQ(ntfs::ApplyFixups(ext.data(), ext.size()), ntfs::FixupResult::Ok);
  ScanRecord x;
  EXPECT_FALSE(ParseRecord(reader, ext.data(), x));
}

// A bare $MFT becomes a volume again: a boot sector, and the MFT put back
// at the clusters its own record 0 names.
std::string VolumeFromMft(const std::string& mftPath, const std::string& name) {
  ByteVec mft = ReadFile(mftPath);
  if (mft.size() < 1024) return "";
  ByteVec zero(mft.begin(), mft.begin() + 1024);
  ntfs::ApplyFixups(zero.data(), zero.size());
  uint64_t lcn = 0;
  ntfs::AttributeWalker walker(ntfs::Bytes{zero.data(), zero.size()});
  ntfs::Attribute attr;
  while (walker.Next(attr)) {
    if (attr.Type() != ntfs::kAttrData || !attr.NonResident()) continue;
    ntfs::RunListDecoder runs(attr.RunList());
    ntfs::DataRun run;
    if (runs.Next(run)) lcn = run.lcn;
    break;
  }
  if (lcn == 0) return "";
  const std::string path = test::ScratchDir("ntfs-real-" + name) + "/volume.img";
  std::ofstream out(path, std::ios::binary);
  ByteVec boot(512, 0);
  std::memcpy(boot.data() + 3, "NTFS    ", 8);
  test::PutLe(boot, 0x0B, 512, 2);
  boot[0x0D] = 8;
  test::PutLe(boot, 0x28, (lcn * 4096 + mft.size()) / 512, 8);
  test::PutLe(boot, 0x30, lcn, 8);
  boot[0x40] = 0xF6;
  out.write(reinterpret_cast<const char*>(boot.data()), 512);
  out.seekp(static_cast<std::streamoff>(lcn * 4096));  // sparse in between
  out.write(reinterpret_cast<const char*>(mft.data()), static_cast<std::streamsize>(mft.size()));
  return out ? path : "";
}

test::ScanResult ScanMftFile(const std::string& file) {
  const std::string path = VolumeFromMft(RealDir() + "/mft/" + file, file);
  if (path.empty()) return {};
  platform::BindDrive({u'R', path, 0, ""});
  return test::ScanVolume(u'R');
}

TEST(RealMftTest, ExtractedMftsListLikeTheSleuthKit) {
  for (const auto& [mft, fls] : std::vector<std::pair<std::string, std::string>>{
           {"go-ntfs-charlie.extracted.mft", "go-ntfs-charlie.fls.txt"},
           {"plaso-vsstest.extracted.mft", "plaso-vsstest.fls.txt"},
           {"ntfs-samples-ntfs-20h1.extracted.mft", "ntfs-samples-ntfs-20h1.fls.txt"}}) {
    SCOPED_TRACE(mft);
    test::ScanResult scan = ScanMftFile(mft);
    ASSERT_TRUE(scan.opened);
    EXPECT_EQ(scan.counters.expected, 256u);
    ExpectListingMatches(scan, fls, u'R');
    platform::UnbindDrive(u'R');
  }
}

TEST(RealMftTest, HardLinkAndCaseSensitiveNames) {
  test::ScanResult scan = ScanMftFile("libfsntfs-mft_metadata_file.1.mft");
  platform::UnbindDrive(u'R');
  ASSERT_TRUE(scan.scanned);
  EXPECT_EQ(scan.counters.damaged, 0u);
  // Record 38 has two long names, under the root and under folder 37; the
  // entry carries one of them with its own parent.
  const ScanRecord* link = scan.Find(38);
  ASSERT_NE(link, nullptr);
  EXPECT_TRUE(link->parentRecordNumber == 5 || link->parentRecordNumber == 37);
  // Names that differ only in case are two entries in the same folder.
  std::vector<const ScanRecord*> same;
  for (const ScanRecord& e : scan.entries)
    if (e.name == u"testfile1" || e.name == u"TestFile1") same.push_back(&e);
  ASSERT_EQ(same.size(), 2u);
  EXPECT_NE(same[0]->name, same[1]->name);
  EXPECT_EQ(same[0]->parentRecordNumber, same[1]->parentRecordNumber);
  EXPECT_NE(same[0]->recordNumber, same[1]->recordNumber);
  for (const ScanRecord& e : scan.entries) {
    EXPECT_FALSE(e.name.empty());
    EXPECT_EQ(e.name.find(u'~'), std::u16string::npos) << ToUtf8(e.name);  // no 8.3 alias won
  }
}

TEST(RealVolumeTest, CharlieFollowsAttributeLists) {
  const std::string image = CharlieImage();
  ASSERT_FALSE(image.empty()) << test::RealImageProblem(test::RealImage::Charlie);
  platform::BindDrive({u'R', image, 0, ""});
  test::ScanResult scan = test::ScanVolume(u'R');
  ASSERT_TRUE(scan.opened);
  ExpectListingMatches(scan, "go-ntfs-charlie.fls.txt", u'R');
  platform::UnbindDrive(u'R');
  const ScanRecord* nine = scan.Find(38);
  ASSERT_NE(nine, nullptr);
  EXPECT_EQ(nine->name, u"Nine.txt");
  // Records 39 and 40 hold moved streams of Nine.txt: never entries.
  EXPECT_EQ(scan.Find(39), nullptr);
  EXPECT_EQ(scan.Find(40), nullptr);
  EXPECT_GE(scan.counters.extensions, 2u);
}

TEST(RealVolumeTest, VsstestLongNamesBeatDosNames) {
  const std::string image = VssImage();
  ASSERT_FALSE(image.empty()) << test::RealImageProblem(test::RealImage::VssTest);
  platform::BindDrive({u'R', image, 0, ""});
  test::ScanResult scan = test::ScanVolume(u'R');
  ASSERT_TRUE(scan.opened);
  ExpectListingMatches(scan, "plaso-vsstest.fls.txt", u'R');
  platform::UnbindDrive(u'R');
}

TEST(RealVolumeTest, Win10PartitionOfAWholeDisk) {
  const std::string image = Win10Image();
  ASSERT_FALSE(image.empty()) << test::RealImageProblem(test::RealImage::Windows20H1);
  platform::BindDrive({u'R', image, 1, ""});
  test::ScanResult scan = test::ScanVolume(u'R');
  ASSERT_TRUE(scan.opened);
  ExpectListingMatches(scan, "ntfs-samples-ntfs-20h1.fls.txt", u'R');
  platform::UnbindDrive(u'R');
  size_t longest = 0;
  for (const ScanRecord& e : scan.entries) longest = std::max(longest, e.name.size());
  EXPECT_EQ(longest, 238u);
}

}  // namespace
}  // namespace zw

#endif  // _WIN32
