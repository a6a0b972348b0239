// A whole small volume held in memory: open, read the MFT layout, scan.
#include <cstdint>

#include "fuzz/memory_volume.h"
#include "ntfs/mft_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static zw::fuzz::MemoryVolume volume(u'G');
  if (size > 4 * 1024 * 1024 || !volume.Set(data, size)) return 0;
  zw::VolumeReader reader;
  if (!reader.Open(u'G')) return 0;
  zw::RecordInfo info;
  reader.GetRecordInfo(info);
  uint64_t names = 0;
  zw::ScanCounters counters;
  zw::ScanMft(
      reader, [&](zw::ScanRecord& e) { return ++names < 100000 && !e.name.empty(); },
      [](uint64_t, uint64_t) {}, &counters);
  return 0;
}
