#include "view/icon_choice.h"

#include <unordered_set>

#include "engine/file_index.h"

namespace zw::view {

namespace {

using ExtensionSet = std::unordered_set<std::u16string_view>;

// Each set is built on first use; a later one only once the earlier tests
// have failed. Function statics make that thread-safe.
const ExtensionSet& ClassSet(IconClass c) {
  switch (c) {
    case IconClass::Document: {
      static const ExtensionSet s{u"txt", u"log", u"ini",  u"cfg", u"xml",  u"json", u"csv",
                                  u"md",  u"doc", u"docx", u"xls", u"xlsx", u"ppt",  u"pptx",
                                  u"pdf", u"hwp", u"rtf",  u"odt", u"ods"};
      return s;
    }
    case IconClass::Image: {
      static const ExtensionSet s{u"jpg", u"jpeg", u"png",  u"gif", u"bmp", u"ico",  u"webp",
                                  u"svg", u"psd",  u"tiff", u"tif", u"raw", u"heic", u"heif"};
      return s;
    }
    case IconClass::Video: {
      static const ExtensionSet s{u"mp4", u"avi",  u"mkv", u"mov", u"wmv", u"flv", u"webm",
                                  u"m4v", u"mpeg", u"mpg", u"3gp", u"ts",  u"vob"};
      return s;
    }
    case IconClass::Audio: {
      static const ExtensionSet s{u"mp3", u"wav", u"flac", u"aac", u"ogg",
                                  u"wma", u"m4a", u"opus", u"ape", u"alac"};
      return s;
    }
    case IconClass::Archive: {
      static const ExtensionSet s{u"zip", u"rar", u"7z",  u"tar", u"gz", u"bz2",
                                  u"xz",  u"cab", u"iso", u"lzh", u"arj"};
      return s;
    }
    case IconClass::Executable: {
      static const ExtensionSet s{u"exe", u"dll", u"msi", u"sys", u"bat",
                                  u"cmd", u"com", u"scr", u"ps1"};
      return s;
    }
    case IconClass::Code:
    default: {
      static const ExtensionSet s{u"c",  u"cpp",   u"h",    u"hpp",   u"cs",  u"java", u"py",
                                  u"js", u"ts",    u"html", u"css",   u"php", u"rb",   u"go",
                                  u"rs", u"swift", u"kt",   u"scala", u"lua", u"sh",   u"sql"};
      return s;
    }
  }
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
  for (int k = 0; k < kIconClassCount; ++k) {
    const IconClass c = static_cast<IconClass>(k);
    if (ClassSet(c).count(lowerExtension) != 0) return c;
  }
  return std::nullopt;
}

bool ChooseIcon(const FileIndex& index, uint32_t entryNumber, bool fastIcons, IconChoice& out) {
  const EntryReadView hold(index.entries);
  const std::optional<EntryRef> e = LookupEntry(hold, entryNumber);
  if (!e) return false;
  out.kind = IconChoice::Kind::File;
  if (e->isFolder()) {
    out.kind = IconChoice::Kind::Folder;
  } else if (fastIcons) {
    if (const std::optional<IconClass> c = ClassOfExtension(e->lowerExtension())) {
      out.kind = IconChoice::Kind::Class;
      out.iconClass = *c;
    }
  } else if (!e->lowerExtension().empty()) {
    out.kind = IconChoice::Kind::Extension;
    out.extension.assign(e->lowerExtension());
  }
  return true;
}

}  // namespace zw::view
