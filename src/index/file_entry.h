// One indexed file or folder as a value. The index itself keeps entries
// compactly (index/entry_store.h) and hands these out on request; the scan
// fills them before paths are built.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/ascii.h"
#include "base/records.h"

namespace zw {

struct FileEntry {
  uint32_t id = kNoEntry;
  uint64_t recordNumber = 0;
  uint64_t parentRecordNumber = 0;
  uint16_t sequenceNumber = 0;  // of the file reference; 0: not known
  char16_t drive = 0;
  std::u16string name;
  std::u16string lowerName;
  std::u16string path;
  std::u16string extension;
  std::u16string lowerExtension;
  uint64_t size = 0;
  uint64_t creationTime = 0;
  uint64_t modificationTime = 0;
  uint32_t attributes = 0;
  bool isFolder = false;
};

// The text after the last dot of a file name; empty with no dot or a dot at
// the end. A leading dot counts (".profile" -> "profile").
inline std::u16string_view FileExtension(std::u16string_view name) {
  const size_t dot = name.rfind(u'.');
  if (dot == std::u16string_view::npos || dot + 1 == name.size()) return {};
  return name.substr(dot + 1);
}

}  // namespace zw
