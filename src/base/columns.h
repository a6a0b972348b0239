// The result list's columns, by position; each is also a sort key, and the
// settings store the number.
#pragma once

#include <cstdint>

namespace zw {

inline constexpr uint32_t kColumnName = 0;
inline constexpr uint32_t kColumnFolder = 1;  // the path, when sorting
inline constexpr uint32_t kColumnSize = 2;
inline constexpr uint32_t kColumnDate = 3;  // of the last modification
inline constexpr uint32_t kColumnCount = 4;

}  // namespace zw
