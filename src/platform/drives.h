// The machine's drives, with the meaning of the Win32 calls they stand for:
// GetLogicalDrives, GetLogicalDriveStringsW, GetDriveTypeW,
// GetVolumeInformationW and GetDiskFreeSpaceExW. Every call takes a root path
// such as "C:\". On POSIX the drives are the drive table's letters; the label,
// file system and free space come from the volume itself.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zw::platform {

inline constexpr uint32_t kDriveUnknown = 0;
inline constexpr uint32_t kDriveNoRootDir = 1;
inline constexpr uint32_t kDriveRemovable = 2;
inline constexpr uint32_t kDriveFixed = 3;
inline constexpr uint32_t kDriveRemote = 4;
inline constexpr uint32_t kDriveCdrom = 5;
inline constexpr uint32_t kDriveRamdisk = 6;

// Bit n set: the letter 'A' + n has a drive.
uint32_t LogicalDrives() noexcept;
// Writes "C:\", NUL, "D:\", NUL, ..., NUL into `buffer` and returns the
// length without the final NUL; when `capacity` is too small, returns the
// capacity needed (with the final NUL) and writes nothing; 0 on failure.
[[nodiscard]] uint32_t LogicalDriveStrings(uint32_t capacity, char16_t* buffer) noexcept;
uint32_t DriveType(std::u16string_view root) noexcept;

struct VolumeInformation {
  std::u16string label;
  std::u16string fileSystem;
  uint32_t serialNumber = 0;
};
// False (LastError set) when the volume cannot be read or its file system is
// not recognised.
[[nodiscard]] bool GetVolumeInformation(std::u16string_view root, VolumeInformation& out) noexcept;

struct DiskSpace {
  uint64_t freeBytesAvailableToCaller = 0;
  uint64_t totalBytes = 0;
  uint64_t totalFreeBytes = 0;
};
[[nodiscard]] bool GetDiskFreeSpace(std::u16string_view root, DiskSpace& out) noexcept;

// What a volume says of itself, for systems without a volume-information call
// (POSIX): the platform layer reads no file system, so the layer that does
// installs the prober these calls ask. Without one, no volume is recognised.
struct VolumeProbe {
  std::u16string fileSystem;  // "NTFS", "FAT32", "FAT", "exFAT"
  std::u16string label;
  uint32_t serialNumber = 0;
  uint64_t freeBytes = 0;  // 0 unless counted (NTFS with a small enough bitmap)
  bool freeKnown = false;
};
using VolumeProber = bool (*)(char16_t letter, VolumeProbe& out);
void SetVolumeProber(VolumeProber prober) noexcept;

// POSIX: binds every readable block device under /sys/class/block that holds
// NTFS to a letter from C upward, skipping letters already bound. Returns the
// number bound. Does nothing on Windows.
int BindNtfsBlockDevices() noexcept;

}  // namespace zw::platform
