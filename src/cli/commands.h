// The commands of the command line. Each lives in its own file; adding one is
// a declaration here and one line in the table of main.cpp.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_context.h"

namespace zw::cli {

using CommandArgs = std::vector<std::string>;

struct Command {
  const char* name;
  const char* usage;    // shown by --help, after "zanderwyn [options] "
  const char* summary;  // one line
  int (*run)(CliContext& context, const CommandArgs& args);
};

// list [--long]: every indexed entry, one full path per line.
int RunList(CliContext& context, const CommandArgs& args);

// drives: the selectable drives with label, file system, sizes and NTFS or not.
int RunDrives(CliContext& context, const CommandArgs& args);

// journal FILE [--drive LETTER]: the changes a saved change-journal stream yields.
int RunJournal(CliContext& context, const CommandArgs& args);

// search TEXT... [options]: the window's search, filter and sort, printed.
int RunSearch(CliContext& context, const CommandArgs& args);

}  // namespace zw::cli
