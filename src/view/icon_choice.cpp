#include "view/icon_choice.h"

#include <unordered_map>

#include "base/file_types.h"
#include "engine/file_index.h"

namespace zw::view {

namespace {

// The kind of each class, in the classes' order.
constexpr std::array<FileKind, kIconClassCount> kClassKinds = {
    FileKind::Document, FileKind::Image,   FileKind::Video, FileKind::Audio,
    FileKind::Archive,  FileKind::Program, FileKind::Code};

// Built on first use; a function static makes that thread-safe.
const std::unordered_map<std::u16string_view, IconClass>& ClassMap() {
  static const auto map = [] {
    std::unordered_map<std::u16string_view, IconClass> out;
    for (const ExtensionKind& row : kExtensionKinds) {
      for (int k = 0; k < kIconClassCount; ++k)
        if (row.icon == kClassKinds[size_t(k)]) out.emplace(row.extension, IconClass(k));
    }
    return out;
  }();
  return map;
}

}  // namespace

const std::array<std::u16string_view, 64> kPrefetchedIconExtensions = {
    u"txt",  u"log",  u"ini", u"cfg", u"xml",  u"json", u"csv",  u"doc", u"docx", u"xls", u"xlsx",
    u"ppt",  u"pptx", u"pdf", u"hwp", u"rtf",  u"jpg",  u"jpeg", u"png", u"gif",  u"bmp", u"ico",
    u"webp", u"svg",  u"psd", u"mp3", u"wav",  u"flac", u"aac",  u"ogg", u"wma",  u"m4a", u"mp4",
    u"avi",  u"mkv",  u"mov", u"wmv", u"flv",  u"webm", u"zip",  u"rar", u"7z",   u"tar", u"gz",
    u"exe",  u"dll",  u"msi", u"bat", u"cmd",  u"ps1",  u"c",    u"cpp", u"h",    u"hpp", u"cs",
    u"java", u"py",   u"js",  u"ts",  u"html", u"css",  u"lnk",  u"url", u"iso"};

std::u16string_view IconClassSampleName(IconClass c) {
  static constexpr std::u16string_view kSamples[kIconClassCount] = {
      u"*.txt", u"*.jpg", u"*.mp4", u"*.mp3", u"*.zip", u"*.exe", u"*.cpp"};
  const int k = static_cast<int>(c);
  return k >= 0 && k < kIconClassCount ? kSamples[k] : kSamples[0];
}

std::optional<IconClass> ClassOfExtension(std::u16string_view lowerExtension) {
  if (lowerExtension.empty()) return std::nullopt;
  const auto& map = ClassMap();
  const auto it = map.find(lowerExtension);
  if (it == map.end()) return std::nullopt;
  return it->second;
}

bool ChooseIcon(const FileIndex& index, uint32_t entryNumber, bool fastIcons, IconChoice& out) {
  const EntryReadView hold(index.entries);
  return ChooseIcon(hold, entryNumber, fastIcons, out);
}

bool ChooseIcon(const EntryAccess& hold, uint32_t entryNumber, bool fastIcons, IconChoice& out) {
  const std::optional<EntryRef> e = LookupEntry(hold, entryNumber);
  if (!e) return false;
  out.kind = IconChoice::Kind::File;
  if (e->isFolder()) {
    out.kind = IconChoice::Kind::Folder;
  } else if (fastIcons) {
    const std::u16string extension = e->lowerExtension().str();
    if (const std::optional<IconClass> c = ClassOfExtension(extension)) {
      out.kind = IconChoice::Kind::Class;
      out.iconClass = *c;
    }
  } else if (!e->lowerExtension().empty()) {
    out.kind = IconChoice::Kind::Extension;
    e->lowerExtension().AssignTo(out.extension);
  }
  return true;
}

}  // namespace zw::view
