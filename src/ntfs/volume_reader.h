// Read-only access to one NTFS volume: its boot sector, the extents of its
// MFT, and MFT records one at a time (fixed up) or in raw batches.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "platform/raw_volume.h"

namespace zw {

struct MftRun {
  uint64_t startVcn = 0;
  uint64_t startLcn = 0;
  uint64_t clusterCount = 0;
};

struct RecordInfo {
  uint64_t recordCount = 0;
  uint32_t bytesPerRecord = 0;
  uint32_t bytesPerCluster = 0;
  uint32_t bytesPerSector = 0;
};

enum class OpenStatus { Ok, Missing, Unreadable, NotNtfs, DamagedBootSector };

// Why a single record could not be had; the scan counts these apart.
enum class RecordStatus {
  Ok,
  OutOfRange,     // past the MFT's size or in no extent
  IoError,        // the volume refused the read
  PastEnd,        // the volume ends before the record
  BadSignature,   // not a "FILE" record (never used, or damaged)
  FixupMismatch,  // damaged: a torn write or garbage
};

struct VolumeReader {
  VolumeReader() = default;
  VolumeReader(const VolumeReader&) = delete;
  VolumeReader& operator=(const VolumeReader&) = delete;
  ~VolumeReader() { Close(); }

  platform::RawVolume handle;
  char16_t drive = 0;
  uint32_t bytesPerSector = 512;
  uint32_t bytesPerCluster = 4096;
  uint32_t bytesPerRecord = 1024;
  uint64_t mftStartCluster = 0;
  uint64_t mftBytes = 0;
  std::vector<MftRun> runs;
  bool layoutLoaded = false;
  OpenStatus openStatus = OpenStatus::Ok;  // why the last Open failed
  uint64_t volumeBytes = 0;                // from the boot sector; 0 when unknown
  uint64_t deviceBytes = 0;                // what the device holds; 0 when unknown
  // MFT extents dropped as damaged: outside the volume, or on clusters an
  // earlier extent already holds.
  uint64_t damagedExtents = 0;
  // Records asked for one at a time (ReadRecordChecked), from any thread.
  std::atomic<uint64_t> singleReads = 0;

  bool Open(char16_t letter);
  void Close();
  bool LoadMftLayout();
  bool GetRecordInfo(RecordInfo& out);
  bool ReadRecord(uint64_t n, uint8_t* buffer);

  // ReadRecord with the reason for a failure.
  RecordStatus ReadRecordChecked(uint64_t n, uint8_t* buffer);
  // Bytes of the MFT at `mftOffset`, split across extents where needed.
  bool ReadMftBytes(uint64_t mftOffset, uint8_t* out, size_t length);
  // The volume offset of MFT byte `mftOffset` and how many bytes follow it
  // contiguously in the same extent. False when no extent holds it.
  bool LocateMftByte(uint64_t mftOffset, uint64_t& volumeOffset, uint64_t& contiguous) const;
  // Records the known extents cover (or the volume holds, without extents);
  // 0 when unknown.
  uint64_t RecordsCovered() const;
  // Records the device and the volume could hold at most, and never more
  // than 2^32.
  uint64_t RecordsThatFit() const;
};

}  // namespace zw
