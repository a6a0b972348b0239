// Bounds-checked little-endian field reads over bytes that came from a disk.
// Nothing read from a volume is trusted: every offset and length is checked
// against the buffer it points into before a byte is touched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/records.h"

namespace zw::ntfs {

// A read-only view of on-disk bytes. Reads outside the view give 0; callers
// that need to tell a real 0 from a missing field check Fits first.
struct Bytes {
  const uint8_t* data = nullptr;
  size_t size = 0;

  bool Fits(size_t offset, size_t length) const {
    return offset <= size && length <= size - offset;
  }
  uint8_t U8(size_t offset) const { return Fits(offset, 1) ? data[offset] : 0; }
  uint16_t U16(size_t offset) const {
    if (!Fits(offset, 2)) return 0;
    return static_cast<uint16_t>(data[offset] | (data[offset + 1] << 8));
  }
  uint32_t U32(size_t offset) const {
    if (!Fits(offset, 4)) return 0;
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | data[offset + i];
    return v;
  }
  uint64_t U64(size_t offset) const {
    if (!Fits(offset, 8)) return 0;
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | data[offset + i];
    return v;
  }
  // The sub-view [offset, offset + length), or an empty view when it does
  // not fit.
  Bytes Sub(size_t offset, size_t length) const {
    if (!Fits(offset, length)) return {};
    return {data + offset, length};
  }
  bool Empty() const { return size == 0; }
};

// Multi-byte fields (names) are copied, never reinterpreted: on-disk data has
// no alignment guarantee.
inline void CopyUtf16(const uint8_t* src, size_t units, char16_t* dst) {
  for (size_t i = 0; i < units; ++i)
    dst[i] = static_cast<char16_t>(src[2 * i] | (src[2 * i + 1] << 8));
}

}  // namespace zw::ntfs
