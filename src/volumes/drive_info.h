// The drives of the machine: which exist, which hold NTFS, and each one's
// label, file system and sizes.
// Only the operating system is asked (through the platform layer).
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace zw {

struct DriveInfo {
  char16_t letter = 0;  // upper case
  std::u16string label;
  std::u16string fileSystem;  // "Unknown" when unreadable (selection list only)
  uint64_t totalBytes = 0;
  uint64_t freeBytes = 0;
  bool isNtfs = false;
};

// A fixed drive's information. False when the drive is not fixed or its
// volume information cannot be read.
bool GetDriveInfo(char16_t letter, DriveInfo& out);
// Fixed NTFS drives, in the order of the system's drive strings.
std::vector<DriveInfo> EnumerateNtfsDrives();
// Their letters.
std::set<char16_t> NtfsDriveLetters();
// Removable and fixed drives, ascending by letter; free space is what the
// caller may still use.
std::vector<DriveInfo> ListSelectableDrives();

}  // namespace zw
