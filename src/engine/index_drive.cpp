#include "engine/index_drive.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <new>
#include <stdexcept>

#include "engine/file_index.h"
#include "index/build_paths.h"
#include "index/scanned_drive.h"
#include "platform/debug_output.h"
#include "platform/last_error.h"

namespace zw {

namespace {

constexpr size_t kDefaultCapacity = 500000;

uint64_t NanosecondsSince(std::chrono::steady_clock::time_point start) {
  return uint64_t(
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start)
          .count());
}

}  // namespace

size_t AppendDriveStore(FileIndex& index, EntryStore&& drive) {
  const EntryWriteView hold(index.entries);
  const size_t first = hold.store().size();
  hold.store().Splice(std::move(drive));
  return hold.store().size() - first;
}

bool IndexDrive(FileIndex& index, char16_t letter) {
  IndexDriveStats stats;
  return IndexDrive(index, letter, stats);
}

namespace {

bool IndexOpenDrive(FileIndex& index, char16_t letter, VolumeReader& reader,
                    IndexDriveStats& stats) {
  RecordInfo info{};
  const uint64_t count = reader.GetRecordInfo(info) ? info.recordCount : 0;
  stats.recordCount = count;
  // The size is read from disk: reserve no more than the extents and the
  // volume can hold.
  uint64_t reserve = count != 0 ? count : kDefaultCapacity;
  for (const uint64_t bound : {reader.RecordsCovered(), reader.RecordsThatFit()})
    if (bound != 0) reserve = std::min(reserve, bound);

  ScannedDrive local(letter);
  local.reserve(size_t(std::min<uint64_t>(reserve, SIZE_MAX)));

  const auto scanStart = std::chrono::steady_clock::now();
  const bool scanned = ScanMft(
      reader,
      [&](ScanRecord& record) {
        if (index.stopRequested.load()) return false;
        local.Add(record);
        return true;
      },
      [&](uint64_t done, uint64_t expected) {
        if (index.progressCallback) index.progressCallback(letter, done, expected);
      },
      &stats.counters, &index.stopRequested);
  stats.scanNanoseconds = NanosecondsSince(scanStart);
  stats.scanned = local.size();
  stats.mftReadable = reader.layoutLoaded;
  if (!scanned || !reader.layoutLoaded) return false;

  const auto pathsStart = std::chrono::steady_clock::now();
  CompleteScannedDrive(local);
  stats.pathsNanoseconds = NanosecondsSince(pathsStart);

  stats.appended = AppendDriveStore(index, std::move(local.store));
  return true;
}

}  // namespace

bool IndexDrive(FileIndex& index, char16_t letter, IndexDriveStats& stats) {
  stats = IndexDriveStats{};
  VolumeReader reader;
  if (!reader.Open(letter)) {
    stats.openStatus = reader.openStatus;
    stats.openError = platform::LastError();
    return false;
  }
  stats.opened = true;
  stats.volumeBytes = reader.volumeBytes;
  stats.deviceBytes = reader.deviceBytes;
  try {
    return IndexOpenDrive(index, letter, reader, stats);
  } catch (const std::bad_alloc&) {
    // Only this drive is given up: what it allocated is freed on the way out.
  } catch (const std::length_error&) {
  }
  stats.outOfMemory = true;
  platform::OutputDebugLine(std::u16string(u"IndexDrive: out of memory on ") + letter + u":\n");
  return false;
}

}  // namespace zw
