#include "cli/cli_context.h"

#include <cstdio>

#include "platform/process_memory.h"

namespace zw::cli {

void PrintError(std::string_view message) {
  std::string line = "zanderwyn: ";
  line += message;
  line += '\n';
  std::fflush(stdout);
  std::fputs(line.c_str(), stderr);
}

void PrintStat(std::string_view name, uint64_t value, std::string_view unit) {
  std::string line(name);
  line += ": ";
  line += std::to_string(value);
  if (!unit.empty()) {
    line += ' ';
    line += unit;
  }
  line += '\n';
  std::fputs(line.c_str(), stderr);
}

std::string DriveName(char16_t letter) {
  std::string name;
  if (letter < 0x80) {
    name += char(letter);
  } else {
    name += '?';
  }
  name += ':';
  return name;
}

std::string DriveLabel(const DriveArg& drive) {
  std::string label = DriveName(drive.letter);
  if (!drive.source.empty()) label += " (" + drive.source + ")";
  return label;
}

uint64_t PeakResidentBytes() {
  return platform::PeakResidentBytes();
}

}  // namespace zw::cli
