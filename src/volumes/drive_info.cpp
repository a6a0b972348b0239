#include "volumes/drive_info.h"

#include "base/ascii.h"
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
    if (FoldAscii(name[i]) != want[i]) return false;
  }
  return true;
}

}  // namespace

bool GetDriveInfo(char16_t letter, DriveInfo& out) {
  InstallProber();
  out = DriveInfo{};
  out.letter = UpperAscii(letter);
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
    if (GetDriveInfo(UpperAscii(root[0]), info) && info.isNtfs) drives.push_back(std::move(info));
  }
  return drives;
}

std::set<char16_t> NtfsDriveLetters() {
  std::set<char16_t> letters;
  for (const DriveInfo& drive : EnumerateNtfsDrives()) letters.insert(drive.letter);
  return letters;
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

}  // namespace zw
