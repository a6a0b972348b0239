// list: every indexed entry in index order, one full path per line; --long
// adds the name, folder, size and date columns, separated by tabs.
#include <string_view>

#include "cli/commands.h"
#include "cli/index_volumes.h"
#include "index/file_index.h"

namespace zw::cli {

namespace {

// The folder column of the result list: the path up to its last backslash,
// "C:" for an entry at the root, the whole path when there is none.
std::u16string_view FolderOf(std::u16string_view path) {
  const size_t slash = path.rfind(u'\\');
  if (slash == std::u16string_view::npos || slash == 0) return path;
  return path.substr(0, slash);
}

void WriteLong(Output& out, const FileEntry& e) {
  out.Write(e.path);
  out.Write('\t');
  out.Write(e.name);
  out.Write('\t');
  out.Write(FolderOf(e.path));
  out.Write('\t');
  if (e.isFolder) {
    out.Write(std::string_view("<DIR>"));
  } else {
    out.WriteNumber(e.size);
  }
  out.Write('\t');
  out.Write(FormatLocalTime(e.modificationTime));
  out.Write('\n');
}

}  // namespace

int RunList(CliContext& context, const CommandArgs& args) {
  bool longFormat = false;
  for (const std::string& arg : args) {
    if (arg == "--long" || arg == "-l") {
      longFormat = true;
    } else {
      PrintError("list: unknown option '" + arg + "' (usage: zanderwyn [options] list [--long])");
      return kExitBadInput;
    }
  }

  FileIndex index;
  const IndexingFigures figures = IndexDrives(context, index, /*nameIndex=*/false);
  Output& out = context.out;
  for (const FileEntry& e : index.entries) {
    if (out.Broken()) break;
    if (longFormat) {
      WriteLong(out, e);
    } else {
      out.Write(e.path);
      out.Write('\n');
    }
  }
  out.Flush();
  if (context.stats) PrintIndexingStats(context, figures, index);
  return kExitOk;
}

}  // namespace zw::cli
