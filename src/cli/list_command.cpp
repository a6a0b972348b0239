// list: every indexed entry in index order, one full path per line; --long
// adds the name, folder, size and date columns, separated by tabs.
#include "cli/commands.h"
#include "cli/index_volumes.h"
#include "index/file_index.h"

namespace zw::cli {

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
    out.Write(e.path);
    if (longFormat) {
      out.Write('\t');
      WriteEntryColumns(out, e, /*exactSize=*/true);
    } else {
      out.Write('\n');
    }
  }
  out.Flush();
  if (context.stats) PrintIndexingStats(context, figures, index);
  return kExitOk;
}

}  // namespace zw::cli
