// Ownership moves are the same on every system; only Close differs.
#include "platform/raw_volume.h"

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

}  // namespace zw::platform
