// The size text shown for byte counts, in the list and in the drive lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zw::view {

// "0 B", "1023 B", "1.0 KB", ..., "465.8 GB"; TB is the largest unit.
std::u16string FormatSize(uint64_t bytes);
// The same into `out` without allocating: cut to capacity - 1 and terminated;
// returns the length. Every size fits kSizeTextCapacity.
inline constexpr size_t kSizeTextCapacity = 32;
size_t FormatSize(uint64_t bytes, char16_t* out, size_t capacity);

}  // namespace zw::view
