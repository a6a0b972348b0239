// zanderwyn: the command-line front end. Global options may stand before or
// after the command; everything after "--" goes to the command unread.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "platform/debug_output.h"
#include "platform/drive_table.h"
#include "platform/registry.h"
#include "platform/utf.h"

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

constexpr Command kCommands[] = {
    {"list", "list [--long]", "print every indexed file and folder, one full path per line",
     RunList},
    {"drives", "drives", "list the drives that can be chosen, with label, sizes and NTFS or not",
     RunDrives},
    {"journal", "journal FILE [--drive LETTER]",
     "print the changes a saved change-journal stream ($UsnJrnl:$J) yields", RunJournal},
    {"search", "search TEXT... [opts]",
     "find by name as the window does; opts: --type 0..8, --sort name|path|size|date, --desc,\n"
     "                       --no-folders-first, --long, --count, --fast-search 0|1,\n"
     "                       --parallel 0|1, --progressive 0|1",
     RunSearch},
};

void PrintHelp() {
  std::string text =
      "usage: zanderwyn [options] <command> [command options]\n"
      "\n"
      "options:\n"
#ifdef _WIN32
      "  --drive D            index drive D: (repeatable)\n"
#else
      "  --drive D=PATH       bind drive D: to an NTFS image file or block device\n"
      "  --drive D=PATH:N     bind drive D: to partition N of a whole-disk image\n"
#endif
      "  --stats              print figures (records, entries, times, memory) on stderr\n"
      "  --debug              print diagnostic lines on stderr\n"
      "  --help               show this text\n"
      "\n"
      "commands:\n";
  for (const Command& c : kCommands) {
    std::string usage = c.usage;
    // A long usage gets its own line, so the summaries stay in one column.
    text +=
        "  " + usage +
        (usage.size() < 20 ? std::string(21 - usage.size(), ' ') : "\n" + std::string(23, ' ')) +
        c.summary + "\n";
  }
  text +=
      "\n"
      "exit status: 0 success, 2 bad arguments or a volume that could not be read,\n"
      "130 stopped with Ctrl+C (what was indexed is kept), 1 any other failure\n";
  std::fputs(text.c_str(), stdout);
}

// Adds one --drive value to the context; false (with a message) when malformed.
bool AddDrive(CliContext& context, std::string_view value) {
  DriveArg drive;
#ifdef _WIN32
  // The letters are the real volumes; an image file cannot be bound here.
  if (value.size() == 2 && value[1] == ':') value.remove_suffix(1);
  if (value.size() != 1 || !std::isalpha(static_cast<unsigned char>(value[0]))) {
    PrintError("--drive " + std::string(value) + ": expected a drive letter, such as --drive D");
    return false;
  }
  drive.letter = char16_t(std::toupper(static_cast<unsigned char>(value[0])));
#else
  if (value.size() == 1 || (value.size() == 2 && value[1] == ':')) {
    // A letter alone selects a volume that is already bound (found at start).
    const char16_t letter = char16_t(std::toupper(static_cast<unsigned char>(value[0])));
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
  const Command* command = nullptr;
  CommandArgs commandArgs;
  bool help = false;
  bool rest = false;
  for (size_t i = 0; i < argv.size(); ++i) {
    const std::string& arg = argv[i];
    if (rest) {
      commandArgs.push_back(arg);
    } else if (arg == "--") {
      rest = true;
    } else if (arg == "--help" || arg == "-h") {
      help = true;
    } else if (arg == "--stats") {
      context.stats = true;
    } else if (arg == "--debug") {
      context.debug = true;
    } else if (command != nullptr && command->run == RunJournal &&
               (arg == "--drive" || arg.rfind("--drive=", 0) == 0)) {
      commandArgs.push_back(arg);  // journal's own --drive names a letter, binds nothing
    } else if (arg == "--drive" || arg.rfind("--drive=", 0) == 0) {
      std::string value;
      if (arg == "--drive") {
        if (i + 1 >= argv.size()) {
          PrintError("--drive needs a value, such as --drive D=disk.img");
          return kExitBadInput;
        }
        value = argv[++i];
      } else {
        value = arg.substr(std::strlen("--drive="));
      }
      if (!AddDrive(context, value)) return kExitBadInput;
    } else if (command == nullptr && !arg.empty() && arg[0] != '-') {
      for (const Command& c : kCommands) {
        if (arg == c.name) command = &c;
      }
      if (command == nullptr) {
        PrintError("unknown command '" + arg + "' (see zanderwyn --help)");
        return kExitBadInput;
      }
    } else if (command != nullptr) {
      commandArgs.push_back(arg);  // the command judges its own options
    } else {
      PrintError("unknown option '" + arg + "' (see zanderwyn --help)");
      return kExitBadInput;
    }
  }
  if (help) {
    PrintHelp();
    return kExitOk;
  }
  if (command == nullptr) {
    PrintError("no command given (see zanderwyn --help)");
    return kExitBadInput;
  }
  if (context.debug) {
    platform::SetDebugSink([](std::u16string_view line) {
      std::string text;
      AppendUtf8(text, line);
      if (text.empty() || text.back() != '\n') text += '\n';
      std::fputs(text.c_str(), stderr);
    });
  }
  int status = command->run(context, commandArgs);
  context.out.Flush();
  const std::string damaged = platform::TakeRegistryDamageNotice();
  if (!damaged.empty()) {
    PrintError("the settings file was damaged and has been kept aside as " + damaged +
               "; default settings were used");
  }
  if (context.debug) platform::SetDebugSink({});
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
namespace {

// A million entries are a few hundred MiB of small strings, and on virtual
// machines the first touch of each 4 KiB page is costly. glibc backs its heap
// with huge pages, and grows it 64 MiB at a time, when asked through
// tunables, which it reads only at start: so start once more with them set. The user's own tunables
// are left alone, and if the restart fails the program simply goes on.
void RestartWithHugePageHeap(char** argv) {
#if defined(__GLIBC__) && defined(__linux__)
  if (std::getenv("GLIBC_TUNABLES") != nullptr) return;
  if (setenv("GLIBC_TUNABLES", "glibc.malloc.hugetlb=1:glibc.malloc.top_pad=67108864", 0) != 0)
    return;
  execv("/proc/self/exe", argv);
  unsetenv("GLIBC_TUNABLES");
#else
  (void)argv;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  RestartWithHugePageHeap(argv);
  // A reader that goes away (| head) ends the output quietly; figures on
  // stderr still come.
  std::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  return zw::cli::Main(args);
}
#endif
