// What every command of the command line shares: the drives it was given, the
// global flags, and the printers for output, figures and errors.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_output.h"

namespace zw {
struct FileIndex;
}

namespace zw::cli {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;        // the program itself failed (out of memory, ...)
inline constexpr int kExitBadInput = 2;       // bad arguments, or a volume could not be read
inline constexpr int kExitInterrupted = 130;  // Ctrl+C, as shells report it

struct DriveArg {
  char16_t letter = 0;
  std::string source;  // what the user named, for messages; empty when only a letter was given
};

struct CliContext {
  std::vector<DriveArg> drives;  // ascending by letter, one per letter
  bool stats = false;
  bool debug = false;
  Output out{stdout};
  // Set by any command that met bad input; main turns it into the exit status.
  bool badInput = false;
  // Set when a drive was given up for want of memory: the program failed it.
  bool outOfMemory = false;
  // Set when Ctrl+C stopped an indexing run: the output is incomplete.
  bool interrupted = false;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

// "zanderwyn: <message>" on stderr.
void PrintError(std::string_view message);
// One figure on stderr as "name: value unit" (no unit: "name: value").
void PrintStat(std::string_view name, uint64_t value, std::string_view unit = {});

// "D:" as UTF-8, for messages.
std::string DriveName(char16_t letter);
// "D: (/path/to/image)" or "D:" when no source was named.
std::string DriveLabel(const DriveArg& drive);

// Peak resident memory of this process in bytes, 0 when unknown.
uint64_t PeakResidentBytes();

}  // namespace zw::cli
