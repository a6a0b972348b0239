#include "search/type_filter.h"

#include <array>
#include <string_view>
#include <vector>

#include "base/file_types.h"

namespace zw {

namespace {

// The kinds of categories 3..8.
constexpr std::array<FileKind, 6> kCategoryKinds = {FileKind::Document, FileKind::Image,
                                                    FileKind::Video,    FileKind::Audio,
                                                    FileKind::Program,  FileKind::Archive};

using Extensions = std::vector<std::u16string_view>;

// Each category's extensions apart, so that the filter compares only against
// its own few.
const std::array<Extensions, 6>& CategoryExtensions() {
  static const std::array<Extensions, 6> lists = [] {
    std::array<Extensions, 6> out;
    for (size_t k = 0; k < kCategoryKinds.size(); ++k) {
      for (const ExtensionKind& row : kExtensionKinds)
        if (row.filter == kCategoryKinds[k]) out[k].push_back(row.extension);
    }
    return out;
  }();
  return lists;
}

}  // namespace

namespace {

// `Text` is a std::u16string_view or a NameText; `lowerExtension()` gives the
// folded extension, asked for only by the categories that need it.
template <class Text, class Extension>
bool Passes(const Text& name, char16_t drive, bool isFolder, Extension&& lowerExtension,
            const TypeFilterState& state) {
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
  if (isFolder) return false;
  const auto extension = lowerExtension();
  if (extension.empty()) return false;
  for (std::u16string_view x : CategoryExtensions()[static_cast<size_t>(category - 3)]) {
    if (extension == x) return true;
  }
  return false;
}

}  // namespace

bool TypeFilter(const FileEntry* entry, const TypeFilterState& state) {
  return entry != nullptr && Passes(
                                 std::u16string_view(entry->name), entry->drive, entry->isFolder,
                                 [&] { return std::u16string_view(entry->lowerExtension); }, state);
}

bool TypeFilter(std::optional<EntryRef> entry, const TypeFilterState& state) {
  return entry && Passes(
                      entry->name(), entry->drive(), entry->isFolder(),
                      [&] { return entry->lowerExtension(); }, state);
}

bool TypeFilter(const EntryAccess& hold, uint32_t entryNumber, const TypeFilterState& state) {
  return TypeFilter(LookupEntry(hold, entryNumber), state);
}

}  // namespace zw
