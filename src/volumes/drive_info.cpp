#include "volumes/drive_info.h"

#include <cstdio>

#include "platform/drives.h"
#include "volumes/volume_probe.h"

namespace zw {
namespace {

// The platform's drive calls learn file systems from this layer's reader.
void InstallProber() {
  static const bool installed = (platform::SetVolumeProber(&ProbeVolume), true);
  (void)installed;
}

std::u16string RootOf(char16_t letter) {
  return {letter, u':', u'\\'};
}

bool EqualsNtfs(const std::u16string& name) {
  if (name.size() != 4) return false;
  const char16_t* want = u"ntfs";
  for (size_t i = 0; i < 4; ++i) {
    char16_t c = name[i];
    if (c >= u'A' && c <= u'Z') c = char16_t(c + 32);
    if (c != want[i]) return false;
  }
  return true;
}

char16_t UpperLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
}

}  // namespace

bool GetDriveInfo(char16_t letter, DriveInfo& out) {
  InstallProber();
  out = DriveInfo{};
  out.letter = UpperLetter(letter);
  const std::u16string root = RootOf(out.letter);
  if (platform::DriveType(root) != platform::kDriveFixed) return false;
  platform::VolumeInformation volume;
  if (!platform::GetVolumeInformation(root, volume)) return false;
  out.label = volume.label;
  out.fileSystem = volume.fileSystem;
  out.isNtfs = EqualsNtfs(out.fileSystem);
  platform::DiskSpace space;
  if (platform::GetDiskFreeSpace(root, space)) {
    out.totalBytes = space.totalBytes;
    out.freeBytes = space.totalFreeBytes;
  }
  return true;
}

std::vector<DriveInfo> EnumerateNtfsDrives() {
  std::vector<DriveInfo> drives;
  char16_t buffer[256] = {};
  const uint32_t length = platform::LogicalDriveStrings(256, buffer);
  if (length == 0 || length > 256) return drives;
  for (size_t pos = 0; pos < 256 && buffer[pos] != 0;) {
    std::u16string root;
    while (pos < 256 && buffer[pos] != 0) root += buffer[pos++];
    ++pos;
    if (platform::DriveType(root) != platform::kDriveFixed) continue;
    DriveInfo info;
    if (GetDriveInfo(UpperLetter(root[0]), info) && info.isNtfs) drives.push_back(std::move(info));
  }
  return drives;
}

std::vector<DriveInfo> ListSelectableDrives() {
  InstallProber();
  std::vector<DriveInfo> drives;
  const uint32_t mask = platform::LogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(mask & (1u << i))) continue;
    DriveInfo info;
    info.letter = char16_t(u'A' + i);
    const std::u16string root = RootOf(info.letter);
    const uint32_t type = platform::DriveType(root);
    if (type != platform::kDriveRemovable && type != platform::kDriveFixed) continue;
    platform::VolumeInformation volume;
    if (platform::GetVolumeInformation(root, volume)) {
      info.label = volume.label;
      info.fileSystem = volume.fileSystem;
      info.isNtfs = EqualsNtfs(info.fileSystem);
    } else {
      info.fileSystem = u"Unknown";  // e.g. a card reader without a card
    }
    platform::DiskSpace space;
    if (platform::GetDiskFreeSpace(root, space)) {
      info.totalBytes = space.totalBytes;
      info.freeBytes = space.freeBytesAvailableToCaller;
    }
    drives.push_back(std::move(info));
  }
  return drives;
}

size_t FormatSize(uint64_t bytes, char16_t* out, size_t capacity) {
  if (capacity == 0) return 0;
  static const char* const kUnits[] = {"B", "KB", "MB", "GB", "TB"};
  double x = double(bytes);
  int i = 0;
  while (x >= 1024.0 && i < 4) {
    x *= 0.0009765625;
    ++i;
  }
  char text[32];
  std::snprintf(text, sizeof text, i == 0 ? "%.0f %s" : "%.1f %s", x, kUnits[i]);
  size_t n = 0;
  // A decimal comma from a user locale would change a text that others parse.
  for (const char* p = text; *p && n + 1 < capacity; ++p)
    out[n++] = *p == ',' ? u'.' : char16_t(static_cast<unsigned char>(*p));
  out[n] = 0;
  return n;
}

std::u16string FormatSize(uint64_t bytes) {
  char16_t text[kSizeTextCapacity];
  return std::u16string(text, FormatSize(bytes, text, kSizeTextCapacity));
}

}  // namespace zw
