#include "cli/cli_context.h"

#include <cstdio>

#ifndef _WIN32
#include <sys/resource.h>
#endif

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
#ifdef _WIN32
  return 0;
#else
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return uint64_t(usage.ru_maxrss) * 1024;  // Linux reports KiB
#endif
}

}  // namespace zw::cli
