// The commands of the command line. Each lives in its own file and adds its
// subcommand, with its own options, to the parser; adding one is a
// declaration here and one line in main.cpp.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_context.h"

namespace CLI {
class App;
class Validator;
}  // namespace CLI

namespace zw::cli {

struct Command {
  CLI::App* app = nullptr;  // the subcommand, owned by the parser
  // Runs the command with the options the parser filled in.
  std::function<int(CliContext& context)> run;
};

// list [--long]: every indexed entry, one full path per line.
Command AddListCommand(CLI::App& parser);

// drives: the selectable drives with label, file system, sizes and NTFS or not.
Command AddDrivesCommand(CLI::App& parser);

// journal FILE [--drive LETTER]: the changes a saved change-journal stream yields.
Command AddJournalCommand(CLI::App& parser);

// search TEXT... [options]: the window's search, filter and sort, printed.
Command AddSearchCommand(CLI::App& parser);

#ifndef _WIN32
// browse: search as you type on the terminal; Enter prints the chosen path.
Command AddBrowseCommand(CLI::App& parser);
#endif

// Accepts only one of `choices`; otherwise "takes a, b or c, not 'x'".
CLI::Validator OneOf(std::vector<std::string> choices);

// "D" or "D:" (any case) as an upper-case letter; false for anything else.
bool ParseDriveLetter(std::string_view value, char16_t& letter);

}  // namespace zw::cli
