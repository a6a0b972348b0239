// Read-only access to a whole volume by drive letter. Reads take an explicit
// offset, so there is no shared file position. Like a Windows volume handle,
// a read whose offset or length is not a multiple of the sector size fails.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zw::platform {

class RawVolume {
 public:
  RawVolume() = default;
  RawVolume(const RawVolume&) = delete;
  RawVolume& operator=(const RawVolume&) = delete;
  RawVolume(RawVolume&& other) noexcept;
  RawVolume& operator=(RawVolume&& other) noexcept;
  ~RawVolume() { Close(); }

  // Opens the volume of `letter` (A..Z) for reading only. False on failure,
  // with LastError set.
  [[nodiscard]] bool Open(char16_t letter) noexcept;
  void Close() noexcept;
  bool IsOpen() const noexcept { return handle_ != kInvalid; }

  // Reads up to `length` bytes at `offset`; `bytesRead` tells how many came
  // (fewer only at the end of the volume). False on failure or misalignment.
  [[nodiscard]] bool ReadAt(uint64_t offset, void* buffer, size_t length,
                            size_t& bytesRead) noexcept;

  // The sector size that reads must be aligned to.
  uint32_t SectorSize() const noexcept { return sectorSize_; }
  // Bytes the device (or partition) holds; 0 when unknown.
  uint64_t Length() const noexcept { return length_; }

 private:
  // The checks every system makes before reading: an open handle, and an
  // offset and length in whole sectors. False with the last error set.
  [[nodiscard]] bool CanRead(uint64_t offset, size_t length) const noexcept;
  // Back to the closed state, once the system handle is released.
  void Forget() noexcept;

  static constexpr intptr_t kInvalid = -1;
  intptr_t handle_ = kInvalid;  // HANDLE on Windows, file descriptor elsewhere
  uint64_t base_ = 0;           // start of the volume inside the file (partitions)
  uint64_t length_ = 0;         // 0 when unknown
  uint32_t sectorSize_ = 512;
};

}  // namespace zw::platform
