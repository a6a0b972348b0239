// One MFT record through fixups and ParseRecord. The first 1024 bytes are the
// record; the rest replaces records 16 and up of a small in-memory volume, so
// attribute lists lead to records the fuzzer also controls.
#include <cstring>
#include <vector>

#include "fuzz/memory_volume.h"
#include "ntfs/mft_scan.h"
#include "ntfs/record.h"
#include "support/ntfs_builder.h"

namespace {

struct Fixture {
  zw::test::VolumeBuilder builder{[] {
    zw::test::VolumeSpec s;
    s.sectorsPerClusterByte = 1;  // 512-byte clusters keep the image small
    s.bytesPerCluster = 512;
    s.mftExtents = {{8, 128}};
    s.totalClusters = 512;
    return s;
  }()};
  zw::fuzz::MemoryVolume volume{u'F'};
  uint64_t mftOffset = 8 * 512;
  Fixture() { volume.Set(builder.Image().data(), builder.Image().size()); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Fixture fixture;
  constexpr size_t kRecord = 1024;
  constexpr size_t kTailRecords = 48;  // records 16..63
  std::vector<uint8_t> record(kRecord, 0);
  std::memcpy(record.data(), data, size < kRecord ? size : kRecord);
  std::vector<uint8_t> tail(kTailRecords * kRecord, 0);
  if (size > kRecord) {
    const size_t n = size - kRecord < tail.size() ? size - kRecord : tail.size();
    std::memcpy(tail.data(), data + kRecord, n);
  }
  fixture.volume.Write(fixture.mftOffset + 16 * kRecord, tail.data(), tail.size());

  zw::VolumeReader reader;
  if (!reader.Open(u'F')) return 0;
  zw::ScanRecord entry;
  entry.recordNumber = 20;
  entry.isFolder = (data[0] & 1) != 0 && size > 0;
  if (zw::ntfs::ApplyFixups(record.data(), record.size()) == zw::ntfs::FixupResult::Ok)
    zw::ParseRecord(reader, record.data(), entry);
  // The same bytes as an attribute list and as a non-resident attribute.
  zw::ScanRecord listed;
  zw::ReadAttributeList(reader, record.data(), record.size(), 20, listed);
  std::vector<uint8_t> out;
  zw::ReadNonResident(reader, record.data(), record.size(), out);
  return 0;
}
