// list: every indexed entry in index order, one full path per line; --long
// adds the name, folder, size and date columns, separated by tabs.
#include <CLI/CLI.hpp>
#include <memory>

#include "cli/commands.h"
#include "cli/index_volumes.h"
#include "cli/path_lines.h"
#include "engine/file_index.h"
#include "index/path_builder.h"

namespace zw::cli {

namespace {

int RunList(CliContext& context, bool longFormat) {
  FileIndex index;
  const IndexingFigures figures = IndexDrives(context, index, /*nameIndex=*/false);
  Output& out = context.out;
  {
    const EntryReadView hold(index.entries);
    if (longFormat) {
      std::u16string path;
      PathBuilder paths(hold.entries());
      for (const EntryRef e : hold.entries()) {
        if (out.Broken()) break;
        paths.PathInto(e.id(), path);
        out.WriteShown(path);
        out.Write('\t');
        WriteEntryColumns(out, e, path, /*exactSize=*/true);
      }
    } else {
      ForEachPathBlock(hold.entries(), [&out](std::string_view lines) {
        out.Write(lines);
        return !out.Broken();
      });
    }
  }
  out.Flush();
  if (context.stats) PrintIndexingStats(context, figures, index);
  return kExitOk;
}

}  // namespace

Command AddListCommand(CLI::App& parser) {
  CLI::App* list =
      parser.add_subcommand("list", "print every indexed file and folder, one full path per line");
  auto longFormat = std::make_shared<bool>(false);
  list->add_flag("--long,-l", *longFormat,
                 "add the name, folder, size and date, separated by tabs");
  return {list, [longFormat](CliContext& context) { return RunList(context, *longFormat); }};
}

}  // namespace zw::cli
