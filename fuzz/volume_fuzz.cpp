// A whole small volume held in memory, indexed as a drive is: open, read the
// MFT layout, scan, link the entries and append them.
#include <cstdint>

#include "engine/file_index.h"
#include "engine/index_drive.h"
#include "fuzz/memory_volume.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static zw::fuzz::MemoryVolume volume(u'G');
  if (size > 4 * 1024 * 1024 || !volume.Set(data, size)) return 0;
  zw::FileIndex index;
  zw::IndexDriveStats stats;
  zw::IndexDrive(index, u'G', stats);
  return 0;
}
