// One indexed file or folder. Entries are addressed by their 32-bit position
// in FileIndex::entries, never by pointer: the vector reallocates.
#pragma once

#include <cstdint>
#include <string>

namespace zw {

inline constexpr uint32_t kNoEntry = 0xFFFFFFFFu;

struct FileEntry {
  uint32_t id = kNoEntry;
  uint64_t recordNumber = 0;
  uint64_t parentRecordNumber = 0;
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

// Folds only the 26 ASCII capitals; every other code unit is kept, so no
// locale can change what matches.
inline char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

inline std::u16string FoldAscii(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out) c = FoldAscii(c);
  return out;
}

}  // namespace zw
