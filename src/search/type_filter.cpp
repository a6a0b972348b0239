#include "search/type_filter.h"

#include <array>
#include <string_view>

namespace zw {

namespace {

using Extensions = std::initializer_list<std::u16string_view>;

// Fixed lists, indexed by category 3..8.
const std::array<Extensions, 6> kCategoryExtensions = {{
    {u"doc", u"docx", u"pdf", u"txt", u"xlsx", u"xls", u"ppt", u"pptx", u"hwp", u"rtf", u"odt",
     u"ods"},
    {u"jpg", u"jpeg", u"png", u"gif", u"bmp", u"ico", u"webp", u"tiff", u"tif", u"svg", u"psd",
     u"raw"},
    {u"mp4", u"avi", u"mkv", u"mov", u"wmv", u"flv", u"webm", u"m4v", u"mpeg", u"mpg", u"3gp",
     u"ts"},
    {u"mp3", u"flac", u"wav", u"aac", u"ogg", u"wma", u"m4a", u"opus", u"ape", u"alac"},
    {u"exe", u"dll", u"msi", u"sys", u"bat", u"cmd", u"com", u"scr"},
    {u"zip", u"rar", u"7z", u"tar", u"gz", u"bz2", u"xz", u"cab", u"iso", u"lzh", u"arj", u"z"},
}};

}  // namespace

namespace {

bool Passes(std::u16string_view name, char16_t drive, bool isFolder,
            std::u16string_view lowerExtension, const TypeFilterState& state) {
  if (name.empty()) return false;
  if (state.hasDriveChecks && state.checkedDrives.count(drive) == 0) return false;
  if (!state.hasTypeCombo) return true;
  const int category = static_cast<int>(state.category);
  switch (state.category) {
    case TypeCategory::NoSelection:
    case TypeCategory::All:
      return true;
    case TypeCategory::Folders:
      return isFolder;
    case TypeCategory::Files:
      return !isFolder;
    default:
      break;
  }
  // Any other value is no selection the combo box could hold: pass, as for none.
  if (category < 3 || category >= kTypeCategoryCount) return true;
  if (isFolder || lowerExtension.empty()) return false;
  for (std::u16string_view x : kCategoryExtensions[static_cast<size_t>(category - 3)]) {
    if (lowerExtension == x) return true;
  }
  return false;
}

}  // namespace

bool TypeFilter(const FileEntry* entry, const TypeFilterState& state) {
  return entry != nullptr &&
         Passes(entry->name, entry->drive, entry->isFolder, entry->lowerExtension, state);
}

bool TypeFilter(std::optional<EntryRef> entry, const TypeFilterState& state) {
  return entry &&
         Passes(entry->name(), entry->drive(), entry->isFolder(), entry->lowerExtension(), state);
}

bool TypeFilter(const EntryAccess& hold, uint32_t entryNumber, const TypeFilterState& state) {
  return TypeFilter(LookupEntry(hold, entryNumber), state);
}

}  // namespace zw
