// Which system icon a result row shows, decided from the entry alone (no
// file is touched): the folder icon, the plain file icon, one of seven class
// icons (the fast mode), or the icon of the entry's own extension.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zw {
struct FileIndex;
class EntryAccess;
}  // namespace zw

namespace zw::view {

enum class IconClass : int {
  Document = 0,
  Image = 1,
  Video = 2,
  Audio = 3,
  Archive = 4,
  Executable = 5,
  Code = 6,
};
inline constexpr int kIconClassCount = 7;

// The pseudo-name whose shell icon stands for a class ("*.txt", ...).
std::u16string_view IconClassSampleName(IconClass c);

// The class base/file_types.h gives the lower-case extension, if any.
std::optional<IconClass> ClassOfExtension(std::u16string_view lowerExtension);

// The extensions whose icons are fetched at start when the fast mode is off.
extern const std::array<std::u16string_view, 64> kPrefetchedIconExtensions;

struct IconChoice {
  enum class Kind { Folder, File, Class, Extension };
  Kind kind = Kind::File;
  IconClass iconClass = IconClass::Document;  // Kind::Class
  std::u16string extension;                   // Kind::Extension: lower case, no dot
};

// False when there is no such entry to show. Reuses out.extension's storage,
// so a caller that keeps one IconChoice allocates only for long extensions.
// Takes the name index lock shared.
bool ChooseIcon(const FileIndex& index, uint32_t entryNumber, bool fastIcons, IconChoice& out);
// The same within the caller's hold.
bool ChooseIcon(const EntryAccess& hold, uint32_t entryNumber, bool fastIcons, IconChoice& out);

}  // namespace zw::view
