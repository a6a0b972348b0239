// A crafted volume written to the build tree and bound to a drive letter for
// the length of one test, and a helper that scans it.
#pragma once

#include <string>
#include <vector>

#include "ntfs/mft_scan.h"
#include "ntfs/scan_record.h"
#include "ntfs/volume_reader.h"
#include "platform/drive_table.h"
#include "support/ntfs_builder.h"
#include "support/test_paths.h"

namespace zw::test {

class BoundVolume {
 public:
  BoundVolume(const VolumeBuilder& builder, const std::string& name, char16_t letter = u'V')
      : letter_(letter) {
    path_ = ScratchDir("ntfs-" + name) + "/volume.img";
    written_ = builder.WriteTo(path_);
    platform::BindDrive({letter_, path_, 0, ""});
  }
  ~BoundVolume() { platform::UnbindDrive(letter_); }
  BoundVolume(const BoundVolume&) = delete;
  BoundVolume& operator=(const BoundVolume&) = delete;

  bool Written() const { return written_; }
  char16_t Letter() const { return letter_; }
  const std::string& Path() const { return path_; }

 private:
  char16_t letter_;
  std::string path_;
  bool written_ = false;
};

struct ScanResult {
  bool opened = false;
  bool scanned = false;
  std::vector<ScanRecord> entries;
  ScanCounters counters;
  std::vector<std::pair<uint64_t, uint64_t>> progress;

  const ScanRecord* Find(uint64_t record) const {
    for (const ScanRecord& e : entries)
      if (e.recordNumber == record) return &e;
    return nullptr;
  }
};

inline ScanResult ScanVolume(char16_t letter, size_t stopAfter = 0) {
  ScanResult result;
  VolumeReader reader;
  result.opened = reader.Open(letter);
  if (!result.opened) return result;
  result.scanned = ScanMft(
      reader,
      [&](ScanRecord& e) {
        result.entries.push_back(std::move(e));
        return stopAfter == 0 || result.entries.size() < stopAfter;
      },
      [&](uint64_t done, uint64_t expected) { result.progress.emplace_back(done, expected); },
      &result.counters);
  return result;
}

}  // namespace zw::test
