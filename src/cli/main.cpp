// zanderwyn: the command-line front end. Global options may stand before or
// after the command; everything after "--" goes to the command unread. CLI11
// parses; the commands add their own options.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "base/utf.h"
#include "cli/commands.h"
#include "cli/heap_tunables.h"
#include "platform/debug_output.h"
#include "platform/drive_table.h"
#include "platform/registry.h"
#include "view/shown_text.h"
#include "zw_version.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#endif

namespace zw::cli {
namespace {

// "zanderwyn 1.0.0 (commit 0123456789ab)", or without the commit when the
// build did not know it.
std::string VersionLine() {
  std::string line = std::string("zanderwyn ") + ZW_VERSION;
  if (*ZW_COMMIT != '\0') line += std::string(" (commit ") + ZW_COMMIT + ")";
  return line;
}

constexpr const char* kExitStatus =
    "exit status: 0 success, 2 bad arguments or a volume that could not be read,\n"
    "130 stopped with Ctrl+C (what was indexed is kept), 1 any other failure";

// "zanderwyn: search: --type: takes 0, 1 ... not '9' (see zanderwyn search --help)"
void PrintParseError(CLI::App& parser, const CLI::ParseError& e) {
  const std::vector<CLI::App*> chosen = parser.get_subcommands();
  std::string message = e.what();
  std::string help = "zanderwyn --help";
  if (!chosen.empty()) {
    message = chosen.back()->get_name() + ": " + message;
    help = "zanderwyn " + chosen.back()->get_name() + " --help";
  } else if (!parser.remaining().empty()) {
    message = "unknown command '" + parser.remaining().front() + "'";
  } else if (dynamic_cast<const CLI::RequiredError*>(&e) != nullptr &&
             message.find("subcommand") != std::string::npos) {
    message = "no command given";
  }
  PrintError(message + " (see " + help + ")");
}

// Adds one --drive value to the context; false (with a message) when malformed.
bool AddDrive(CliContext& context, std::string_view value) {
  DriveArg drive;
#ifdef _WIN32
  // The letters are the real volumes; an image file cannot be bound here.
  if (!ParseDriveLetter(value, drive.letter)) {
    PrintError("--drive " + std::string(value) + ": expected a drive letter, such as --drive D");
    return false;
  }
#else
  char16_t letter = 0;
  if (value.size() <= 2 && ParseDriveLetter(value, letter)) {
    // A letter alone selects a volume that is already bound (found at start).
    const auto binding = platform::FindDriveBinding(letter);
    if (!binding) {
      PrintError("--drive " + std::string(value) + ": no volume is bound to " + DriveName(letter) +
                 "; bind one with --drive " + std::string(1, char(letter)) + "=PATH");
      return false;
    }
    drive.letter = binding->letter;
    drive.source = binding->source;
  } else {
    std::string error;
    const auto binding = platform::ParseDriveBinding(value, error);
    if (!binding) {
      PrintError(error.empty() ? "--drive " + std::string(value) + ": expected D=PATH or D=PATH:N"
                               : "--drive: " + error);
      return false;
    }
    platform::BindDrive(*binding);
    drive.letter = binding->letter;
    drive.source = binding->source;
    if (binding->partition != 0) drive.source += ":" + std::to_string(binding->partition);
  }
#endif
  // A later --drive for the same letter replaces the earlier one.
  auto& drives = context.drives;
  drives.erase(std::remove_if(drives.begin(), drives.end(),
                              [&](const DriveArg& d) { return d.letter == drive.letter; }),
               drives.end());
  drives.push_back(drive);
  std::sort(drives.begin(), drives.end(),
            [](const DriveArg& a, const DriveArg& b) { return a.letter < b.letter; });
  return true;
}

int Run(const std::vector<std::string>& argv) {
  CliContext context;
  CLI::App parser(
      "Finds files and folders by name on NTFS volumes, read straight from the Master File\n"
      "Table. Options may stand before or after the command; everything after -- goes to\n"
      "the command unread.",
      "zanderwyn");
  parser.footer(kExitStatus);
  parser.get_formatter()->column_width(30);
  parser.get_formatter()->label("SUBCOMMAND", "COMMAND");
  // Options the command does not know are the global ones, wherever they stand.
  parser.fallthrough();
#ifdef _WIN32
  parser.require_subcommand(1);
#else
  // None: browse, when there is a terminal to browse on.
  parser.require_subcommand(0, 1);
#endif
  std::vector<std::string> drives;
  parser
      .add_option("--drive", drives,
#ifdef _WIN32
                  "index drive D: (repeatable)")
      ->type_name("D")
#else
                  "bind drive D: to an NTFS image or block device, or to\n"
                  "partition N of a whole-disk image (repeatable)")
      ->type_name("D=PATH[:N]")
#endif
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->allow_extra_args(false);
  parser.add_flag("--stats", context.stats,
                  "print figures (records, entries, times, memory) on stderr");
  parser.add_flag("--debug", context.debug, "print diagnostic lines on stderr");
  parser.set_version_flag("--version", VersionLine(),
                          "print the version and the commit it was built from");
  const Command commands[] = {
      AddListCommand(parser),   AddSearchCommand(parser),
      AddDrivesCommand(parser), AddJournalCommand(parser),
#ifndef _WIN32
      AddBrowseCommand(parser),
#endif
  };

  for (const Command& c : commands) c.app->group("Commands");

  // CLI11 takes its arguments last first.
  std::vector<std::string> args(argv.rbegin(), argv.rend());
  try {
    parser.parse(args);
  } catch (const CLI::CallForVersion& e) {
    std::fputs((std::string(e.what()) + "\n").c_str(), stdout);
    return kExitOk;
  } catch (const CLI::CallForHelp&) {
    const std::vector<CLI::App*> chosen = parser.get_subcommands();
    // Alone, --help shows every command with its own options.
    std::fputs((chosen.empty() ? parser.help("", CLI::AppFormatMode::All)
                               : chosen.back()->help("zanderwyn"))
                   .c_str(),
               stdout);
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    PrintParseError(parser, e);
    return kExitBadInput;
  }
  for (const std::string& value : drives) {
    if (!AddDrive(context, value)) return kExitBadInput;
  }
  const Command* command = nullptr;
  for (const Command& c : commands) {
    if (c.app->parsed()) command = &c;
  }
#ifndef _WIN32
  if (command == nullptr && IsTerminal(stdin) && IsTerminal(stdout)) {
    for (const Command& c : commands) {
      if (c.app->get_name() == "browse") command = &c;
    }
  }
#endif
  if (command == nullptr) {
    PrintError("no command given (see zanderwyn --help)");
    return kExitBadInput;
  }
  if (context.debug) {
    // The lines carry names from disk.
    platform::SetDebugSink([](std::u16string_view line) {
      if (!line.empty() && line.back() == u'\n') line.remove_suffix(1);
      std::u16string scratch;
      std::string text;
      AppendUtf8(text, view::Shown(line, scratch));
      text += '\n';
      std::fputs(text.c_str(), stderr);
    });
  }
  int status = command->run(context);
  context.out.Flush();
  const std::string refused = platform::TakeRegistryRefusalNotice();
  if (!refused.empty()) {
    PrintError("settings refused: " + refused +
               "; default settings were used and nothing was saved");
  }
  const std::string damaged = platform::TakeRegistryDamageNotice();
  if (!damaged.empty()) {
    PrintError("the settings file was damaged and has been kept aside as " + damaged +
               "; default settings were used");
  }
  if (context.debug) platform::SetDebugSink({});
  if (status == kExitOk && context.outOfMemory) status = kExitFailure;
  if (status == kExitOk && context.badInput) status = kExitBadInput;
  if (status == kExitOk && context.interrupted) status = kExitInterrupted;
  return status;
}

int Main(const std::vector<std::string>& argv) noexcept {
  try {
    return Run(argv);
  } catch (const std::bad_alloc&) {
    PrintError("out of memory");
  } catch (const std::exception& e) {
    PrintError(e.what());
  } catch (...) {
    PrintError("unexpected failure");
  }
  return kExitFailure;
}

}  // namespace
}  // namespace zw::cli

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  static_assert(sizeof(wchar_t) == 2);
  // Bytes out exactly as on Linux: UTF-8 with "\n" line ends.
  _setmode(_fileno(stdout), _O_BINARY);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    args.push_back(zw::ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(argv[i]))));
  }
  return zw::cli::Main(args);
}
#else

int main(int argc, char** argv) {
  zw::cli::RestartWithHugePageHeap(argv);
  // A reader that goes away (| head) ends the output quietly; figures on
  // stderr still come.
  std::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  return zw::cli::Main(args);
}
#endif
