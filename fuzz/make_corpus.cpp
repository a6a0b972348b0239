// Writes the crafted part of the seed corpus: small volumes for volume_fuzz
// and records (with the records they lead to) for record_fuzz.
// Usage: zw_make_corpus OUTDIR   (writes OUTDIR/volume_fuzz, OUTDIR/record_fuzz)
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/ntfs_builder.h"

using namespace zw::test;
using RB = RecordBuilder;

namespace {

void Save(const std::string& path, const ByteVec& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

ByteVec WithBase(ByteVec r, uint64_t base) {
  PutLe(r, 0x20, base | (uint64_t{1} << 48), 8);
  return r;
}

VolumeSpec Small() {
  VolumeSpec s;
  s.sectorsPerClusterByte = 1;
  s.bytesPerCluster = 512;
  s.mftExtents = {{8, 128}};
  s.totalClusters = 256;
  return s;
}

void Populate(VolumeBuilder& b, uint32_t size) {
  b.SetRecord(16, RB(size, 3).StandardInfo(1, 2, 0x10).FileName(5, u"folder", kWin32).Finish());
  b.SetRecord(17, RB(size)
                      .StandardInfo(3, 4, 0x20)
                      .FileName(16, u"LONGNA~1.TXT", kDos)
                      .FileName(16, u"long name.txt", kWin32)
                      .Data(ByteVec(40, 'a'))
                      .Finish());
  b.SetRecord(18,
              RB(size)
                  .Resident(0x20, AttributeListValue({{0x10, 0, 18}, {0x30, 0, 19}, {0x80, 0, 19}}))
                  .FileName(16, u"MOVED~1", kDos)
                  .Finish());
  b.SetRecord(19, WithBase(RB(size)
                               .FileName(16, u"moved name", kWin32)
                               .NonResident(0x80, EncodeRuns({{2, 200}}), 900)
                               .Finish(),
                           18));
  b.SetRecord(20, RB(size).FileName(5, u"한글 이름", kPosix).Finish());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string root = argv[1];
  std::filesystem::create_directories(root + "/volume_fuzz");
  std::filesystem::create_directories(root + "/record_fuzz");

  VolumeBuilder plain(Small());
  Populate(plain, 1024);
  Save(root + "/volume_fuzz/small.img", plain.Image());

  VolumeSpec frag = Small();
  frag.mftExtents = {{8, 16}, {200, 16}, {100, 96}};
  VolumeBuilder fragmented(frag);
  Populate(fragmented, 1024);
  Save(root + "/volume_fuzz/fragmented.img", fragmented.Image());

  // Record 0 lists a further $DATA extent kept in record 15.
  VolumeSpec listed = Small();
  listed.mftExtents = {{8, 32}, {150, 96}};
  VolumeBuilder mftList(listed);
  RB zero(1024, 1);
  zero.Resident(0x20, AttributeListValue({{0x80, 0, 0}, {0x80, 32, 15}}));
  zero.NonResident(0x80, EncodeRuns({{32, 8}}), mftList.RecordCount() * 1024, 0, 31);
  mftList.SetRecord(0, zero.Finish());
  mftList.SetRecord(
      15, WithBase(RB(1024).NonResident(0x80, EncodeRuns({{96, 150}}), 0, 32, 127).Finish(), 0));
  Populate(mftList, 1024);
  Save(root + "/volume_fuzz/mft-list.img", mftList.Image());

  VolumeSpec k4;
  k4.bytesPerSector = 4096;
  k4.sectorsPerClusterByte = 1;
  k4.clustersPerRecord = 1;
  k4.bytesPerRecord = 4096;
  k4.mftExtents = {{2, 24}};
  k4.totalClusters = 40;
  VolumeBuilder fourK(k4);
  Populate(fourK, 4096);
  Save(root + "/volume_fuzz/4k-sectors.img", fourK.Image());

  // Volumes that once cost gigabytes or minutes: the budget must hold them.
  // One stretch of the MFT mapped again under later VCNs, and past the volume.
  VolumeSpec overlap = Small();
  overlap.mftExtents = {{8, 128}, {8, 128}, {8, 128}, {4000, 64}};
  VolumeBuilder overlapping(overlap);
  Populate(overlapping, 1024);
  Save(root + "/volume_fuzz/overlapping-extents.img", overlapping.Image());

  // Record 16's list names its extension records thousands of times over.
  VolumeSpec bomb;
  bomb.mftExtents = {{16, 200}};
  bomb.totalClusters = 900;
  VolumeBuilder listBomb(bomb);
  std::vector<ListEntry> names;
  for (int pass = 0; pass < 80; ++pass)
    for (uint64_t r = 17; r < 800; r += 2) names.push_back({0x30, 0, r});
  const ByteVec list = AttributeListValue(names);
  listBomb.Put(300 * 4096, list);
  listBomb.SetRecord(
      16,
      RB().NonResident(0x20, EncodeRuns({{list.size() / 4096 + 1, 300}}), list.size()).Finish());
  for (uint64_t r = 17; r < 800; ++r) listBomb.SetRecord(r, WithBase(RB().Finish(), 16));
  Save(root + "/volume_fuzz/list-bomb.img", listBomb.Image());

  // 300 nested folders of long names with files below the deepest.
  VolumeSpec deep;
  deep.mftExtents = {{16, 900}};
  deep.totalClusters = 930;
  VolumeBuilder chain(deep);
  const std::u16string longName(200, u'n');
  for (uint64_t i = 0; i < 300; ++i)
    chain.SetRecord(16 + i, RB(1024, 3).FileName(i == 0 ? 5 : 15 + i, longName, kWin32).Finish());
  for (uint64_t f = 316; f < 3600; ++f) {
    std::u16string name = u"f";
    for (uint64_t v = f; v != 0; v /= 10) name += char16_t(u'0' + v % 10);
    chain.SetRecord(f, RB().FileName(315, name, kWin32).Finish());
  }
  Save(root + "/volume_fuzz/deep-chain.img", chain.Image());

  // record_fuzz: the record under test, then records 16.. of its volume.
  const uint64_t mft = 8 * 512;
  auto recordSeed = [&](const std::string& name, uint64_t n) {
    ByteVec seed(plain.Image().begin() + mft + n * 1024,
                 plain.Image().begin() + mft + (n + 1) * 1024);
    seed.insert(seed.end(), plain.Image().begin() + mft + 16 * 1024,
                plain.Image().begin() + mft + 24 * 1024);
    Save(root + "/record_fuzz/" + name, seed);
  };
  recordSeed("dos-and-long", 17);
  recordSeed("list-to-19", 18);
  recordSeed("posix", 20);
  ByteVec nrList =
      RB().NonResident(0x20, EncodeRuns({{1, 100}}), 64).FileName(5, u"x", kWin32).Finish();
  Save(root + "/record_fuzz/nonresident-list", nrList);
  return 0;
}
