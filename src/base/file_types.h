// What kind of file an extension names, for the two places that ask: the
// type filter's categories and the icon classes of the fast icon mode. Each
// row says what both make of one lower-case extension; where they differ
// the row says so. The two lists were chosen apart and users know both as
// they are, so neither follows the other.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace zw {

enum class FileKind : uint8_t { None, Document, Image, Video, Audio, Program, Archive, Code };

struct ExtensionKind {
  std::u16string_view extension;
  FileKind filter;  // the type filter's category; None: in no category
  FileKind icon;    // the fast mode's class icon; None: the plain file icon
};

inline constexpr auto kExtensionKinds = [] {
  using enum FileKind;
  return std::to_array<ExtensionKind>({
      {u"doc", Document, Document},
      {u"docx", Document, Document},
      {u"pdf", Document, Document},
      {u"txt", Document, Document},
      {u"xls", Document, Document},
      {u"xlsx", Document, Document},
      {u"ppt", Document, Document},
      {u"pptx", Document, Document},
      {u"hwp", Document, Document},
      {u"rtf", Document, Document},
      {u"odt", Document, Document},
      {u"ods", Document, Document},
      // Text a program writes or reads: a document's icon, but no document.
      {u"log", None, Document},
      {u"ini", None, Document},
      {u"cfg", None, Document},
      {u"xml", None, Document},
      {u"json", None, Document},
      {u"csv", None, Document},
      {u"md", None, Document},

      {u"jpg", Image, Image},
      {u"jpeg", Image, Image},
      {u"png", Image, Image},
      {u"gif", Image, Image},
      {u"bmp", Image, Image},
      {u"ico", Image, Image},
      {u"webp", Image, Image},
      {u"tiff", Image, Image},
      {u"tif", Image, Image},
      {u"svg", Image, Image},
      {u"psd", Image, Image},
      {u"raw", Image, Image},
      {u"heic", None, Image},
      {u"heif", None, Image},

      {u"mp4", Video, Video},
      {u"avi", Video, Video},
      {u"mkv", Video, Video},
      {u"mov", Video, Video},
      {u"wmv", Video, Video},
      {u"flv", Video, Video},
      {u"webm", Video, Video},
      {u"m4v", Video, Video},
      {u"mpeg", Video, Video},
      {u"mpg", Video, Video},
      {u"3gp", Video, Video},
      {u"ts", Video, Video},  // a video before TypeScript
      {u"vob", None, Video},

      {u"mp3", Audio, Audio},
      {u"flac", Audio, Audio},
      {u"wav", Audio, Audio},
      {u"aac", Audio, Audio},
      {u"ogg", Audio, Audio},
      {u"wma", Audio, Audio},
      {u"m4a", Audio, Audio},
      {u"opus", Audio, Audio},
      {u"ape", Audio, Audio},
      {u"alac", Audio, Audio},

      {u"exe", Program, Program},
      {u"dll", Program, Program},
      {u"msi", Program, Program},
      {u"sys", Program, Program},
      {u"bat", Program, Program},
      {u"cmd", Program, Program},
      {u"com", Program, Program},
      {u"scr", Program, Program},
      {u"ps1", None, Program},

      {u"zip", Archive, Archive},
      {u"rar", Archive, Archive},
      {u"7z", Archive, Archive},
      {u"tar", Archive, Archive},
      {u"gz", Archive, Archive},
      {u"bz2", Archive, Archive},
      {u"xz", Archive, Archive},
      {u"cab", Archive, Archive},
      {u"iso", Archive, Archive},
      {u"lzh", Archive, Archive},
      {u"arj", Archive, Archive},
      {u"z", Archive, None},

      // Source code has a class icon but no category.
      {u"c", None, Code},
      {u"cpp", None, Code},
      {u"h", None, Code},
      {u"hpp", None, Code},
      {u"cs", None, Code},
      {u"java", None, Code},
      {u"py", None, Code},
      {u"js", None, Code},
      {u"html", None, Code},
      {u"css", None, Code},
      {u"php", None, Code},
      {u"rb", None, Code},
      {u"go", None, Code},
      {u"rs", None, Code},
      {u"swift", None, Code},
      {u"kt", None, Code},
      {u"scala", None, Code},
      {u"lua", None, Code},
      {u"sh", None, Code},
      {u"sql", None, Code},
  });
}();

}  // namespace zw
