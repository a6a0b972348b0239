// The names the command line gives the type filters and the sort columns,
// shared by search's options and browse's status line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "search/type_filter.h"

namespace zw::cli {

// In the order of TypeCategory (the position is the category), so that the
// numbers the window's settings use still work.
inline const std::vector<std::string>& TypeNames() {
  static const std::vector<std::string> names = {
      "all", "folders", "files", "documents", "images", "videos", "music", "programs", "archives"};
  return names;
}

// The category a --type value names (a name above or its number), if any.
inline std::optional<TypeCategory> ParseTypeCategory(const std::string& value) {
  const std::vector<std::string>& names = TypeNames();
  for (size_t k = 0; k < names.size(); ++k) {
    if (value == names[k] || value == std::to_string(k)) return TypeCategory(int(k));
  }
  return std::nullopt;
}

// In the order of base/columns.h: the position is the column.
inline const std::vector<std::string>& SortColumnNames() {
  static const std::vector<std::string> names = {"name", "path", "size", "date"};
  return names;
}

}  // namespace zw::cli
