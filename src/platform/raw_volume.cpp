// What is the same on every system: ownership moves, the read checks and
// the closed state.
#include "platform/raw_volume.h"

#include "platform/last_error.h"
#include "platform/sector_size.h"

namespace zw::platform {

RawVolume::RawVolume(RawVolume&& other) noexcept
    : handle_(other.handle_),
      base_(other.base_),
      length_(other.length_),
      sectorSize_(other.sectorSize_) {
  other.handle_ = kInvalid;
}

RawVolume& RawVolume::operator=(RawVolume&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    base_ = other.base_;
    length_ = other.length_;
    sectorSize_ = other.sectorSize_;
    other.handle_ = kInvalid;
  }
  return *this;
}

bool RawVolume::CanRead(uint64_t offset, size_t length) const noexcept {
  if (handle_ == kInvalid) {
    SetLastError(error::kInvalidHandle);
    return false;
  }
  // A Windows volume handle refuses these (Wine does not); refusing them on
  // every system lets tests catch reads that would fail on Windows.
  if (offset % sectorSize_ != 0 || length % sectorSize_ != 0) {
    SetLastError(error::kInvalidParameter);
    return false;
  }
  return true;
}

void RawVolume::Forget() noexcept {
  handle_ = kInvalid;
  base_ = 0;
  length_ = 0;
  sectorSize_ = kDefaultSectorSize;
}

}  // namespace zw::platform
