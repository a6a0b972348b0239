// The drives of the machine: which exist, which hold NTFS, and each one's
// label, file system and sizes; and the size text shown for byte counts.
// Only the operating system is asked (through the platform layer).
#pragma once

#include <cstddef>
#include <cstdint>
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
// Removable and fixed drives, ascending by letter; free space is what the
// caller may still use.
std::vector<DriveInfo> ListSelectableDrives();

// "0 B", "1023 B", "1.0 KB", ..., "465.8 GB"; TB is the largest unit.
std::u16string FormatSize(uint64_t bytes);
// The same into `out` without allocating: cut to capacity - 1 and terminated;
// returns the length. Every size fits kSizeTextCapacity.
inline constexpr size_t kSizeTextCapacity = 32;
size_t FormatSize(uint64_t bytes, char16_t* out, size_t capacity);

}  // namespace zw
