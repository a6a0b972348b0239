// A named stream found through its folder and read from crafted volumes:
// sparse stretches are skipped, and pieces that are damage are counted, never
// read.
#include <gtest/gtest.h>

#include "ntfs/named_stream.h"
#include "scan_fixture.h"

#ifndef _WIN32
namespace zw {
namespace {

using test::BoundVolume;
using test::ByteVec;
using test::EncodeRuns;
using test::RecordBuilder;
using test::VolumeBuilder;

// An attribute list entry for a $DATA stream named `name`.
void AddListEntry(ByteVec& list, uint64_t vcn, uint64_t record, const std::u16string& name) {
  const size_t p = list.size();
  const size_t length = test::Align8(0x1A + 2 * name.size());
  list.resize(p + length, 0);
  test::PutLe(list, p, 0x80, 4);
  test::PutLe(list, p + 4, length, 2);
  list[p + 6] = uint8_t(name.size());
  list[p + 7] = 0x1A;
  test::PutLe(list, p + 8, vcn, 8);
  test::PutLe(list, p + 0x10, record | (uint64_t{1} << 48), 8);
  for (size_t i = 0; i < name.size(); ++i) test::PutLe(list, p + 0x1A + 2 * i, name[i], 2);
}

TEST(NamedStream, SkipsSparseStretchesAndNeverReadsDamagedPieces) {
  constexpr uint64_t kCluster = 4096;
  VolumeBuilder b;
  b.Put(100 * kCluster, ByteVec(kCluster, 0x5A));
  ByteVec list;
  AddListEntry(list, 0, 20, u"$J");
  AddListEntry(list, 3, 21, u"$J");
  AddListEntry(list, 3, 22, u"$J");  // another file's record: not part of the stream
  // VCN 0-1 sparse, 2 at LCN 100; in the extension, 3 on LCN 100 again and 4
  // past the volume's end.
  b.SetRecord(
      20, RecordBuilder()
              .Resident(0x20, list)
              .FileName(11, u"$UsnJrnl", test::kWin32AndDos)
              .NonResident(0x80, EncodeRuns({{2, 0, true}, {1, 100}}), 5 * kCluster, 0, 2, u"$J")
              .NonResident(0x80, EncodeRuns({{1, 200}}), kCluster, 0, 0, u"$Max")
              .Finish());
  b.SetRecord(21, RecordBuilder(1024, RecordBuilder::kInUse, 20)
                      .NonResident(0x80, EncodeRuns({{1, 100}, {1, 4900}}), 0, 3, 4, u"$J")
                      .Finish());
  b.SetRecord(22, RecordBuilder(1024, RecordBuilder::kInUse, 30)
                      .NonResident(0x80, EncodeRuns({{2, 300}}), 0, 3, 4, u"$J")
                      .Finish());
  BoundVolume vol(b, "named-stream");
  ASSERT_TRUE(vol.Written());
  VolumeReader reader;
  ASSERT_TRUE(reader.Open(vol.Letter()));

  uint64_t record = 0;
  ASSERT_TRUE(ntfs::FindChildRecord(reader, ntfs::kExtendRecord, u"$UsnJrnl", record));
  EXPECT_EQ(record, 20u);
  EXPECT_FALSE(ntfs::FindChildRecord(reader, 5, u"$UsnJrnl", record));

  const ntfs::StreamRead j = ntfs::ReadNamedStream(reader, 20, u"$J");
  ASSERT_TRUE(j.found);
  EXPECT_EQ(j.size, 5 * kCluster);
  EXPECT_EQ(j.sparseBytes, 2 * kCluster);
  EXPECT_EQ(j.missingBytes, 2 * kCluster);
  EXPECT_EQ(j.bytes, ByteVec(kCluster, 0x5A));
  EXPECT_FALSE(ntfs::ReadNamedStream(reader, 20, u"$j").found);  // names match exactly
  EXPECT_FALSE(ntfs::ReadNamedStream(reader, 21, u"$J").found);  // an extension is no file
}

}  // namespace
}  // namespace zw
#endif
