// Drives on POSIX are the drive table's letters. What Windows would ask the
// file system driver (label, file system, free space) is read from the volume
// itself, read-only.
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <atomic>
#include "base/ascii.h"
#include "platform/drive_table.h"
#include "platform/drives.h"
#include "platform/last_error.h"
#include "platform/partition_table.h"

namespace zw::platform {
namespace {

constexpr uint32_t kErrorUnrecognizedVolume = 1005;

std::atomic<VolumeProber> g_prober{nullptr};

bool ProbeVolume(char16_t letter, VolumeProbe& out) {
  const VolumeProber prober = g_prober.load();
  return prober != nullptr && prober(letter, out);
}

// "C:\" or "C:" (either case) -> 'C'; 0 for anything else.
char16_t LetterOfRoot(std::u16string_view root) {
  if (root.size() < 2 || root.size() > 3 || root[1] != u':') return 0;
  if (root.size() == 3 && root[2] != u'\\') return 0;
  const char16_t c = UpperAscii(root[0]);
  return (c >= u'A' && c <= u'Z') ? c : 0;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whether the kernel calls the block device removable (card readers, sticks).
bool IsRemovableDevice(const std::string& device) {
  struct stat st {};
  if (stat(device.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return false;
  std::string name = BaseName(device);
  for (const std::string& sys :
       {"/sys/class/block/" + name + "/removable", "/sys/class/block/" + name + "/../removable"}) {
    std::ifstream in(sys);
    int flag = 0;
    if (in >> flag) return flag != 0;
  }
  return false;
}

// Size of the bound volume: the partition, the device, or the image file.
bool VolumeSize(const DriveBinding& binding, uint64_t& bytes) {
  int fd = open(binding.source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);  // a FIFO must not hang
  if (fd < 0) {
    SetLastError(ErrorFromErrno(errno));
    return false;
  }
  struct stat st {};
  uint64_t disk = 0;
  uint32_t sector = 0;
  bool ok = fstat(fd, &st) == 0;
  if (ok && S_ISBLK(st.st_mode)) {
    int logical = 0;
    ok = ioctl(fd, BLKGETSIZE64, &disk) == 0 && ioctl(fd, BLKSSZGET, &logical) == 0;
    sector = uint32_t(logical);
  } else if (ok && S_ISREG(st.st_mode)) {
    disk = uint64_t(st.st_size);
  } else {
    ok = false;
  }
  if (ok && binding.partition > 0) {
    DiskReader reader = [fd](uint64_t offset, void* buffer, size_t length) {
      ssize_t n = pread(fd, buffer, length, off_t(offset));
      return n >= 0 && size_t(n) == length;
    };
    PartitionExtent extent;
    ok = FindPartition(reader, disk, sector, binding.partition, extent);
    disk = extent.length;
  }
  close(fd);
  if (ok) bytes = disk;
  return ok;
}

std::string MountPointOf(const std::string& device) {
  std::ifstream mounts("/proc/self/mounts");
  std::string source, target, rest;
  while (mounts >> source >> target && std::getline(mounts, rest)) {
    if (source == device) return target;  // octal escapes of spaces are rare; kept as is
  }
  return {};
}

}  // namespace

uint32_t LogicalDrives() noexcept {
  try {
    uint32_t mask = 0;
    for (const DriveBinding& b : DriveBindings())
      if (b.letter >= u'A' && b.letter <= u'Z') mask |= 1u << (b.letter - u'A');
    return mask;
  } catch (...) {
    return 0;
  }
}

uint32_t LogicalDriveStrings(uint32_t capacity, char16_t* buffer) noexcept {
  uint32_t mask = LogicalDrives();
  uint32_t needed = uint32_t(std::popcount(mask)) * 4 + 1;
  if (capacity < needed || !buffer) return needed;
  uint32_t pos = 0;
  for (int i = 0; i < 26; ++i) {
    if (!(mask & (1u << i))) continue;
    buffer[pos++] = char16_t(u'A' + i);
    buffer[pos++] = u':';
    buffer[pos++] = u'\\';
    buffer[pos++] = 0;
  }
  buffer[pos] = 0;
  return pos;
}

uint32_t DriveType(std::u16string_view root) noexcept {
  try {
    char16_t letter = LetterOfRoot(root);
    if (!letter) return kDriveNoRootDir;
    auto binding = FindDriveBinding(letter);
    if (!binding) return kDriveNoRootDir;
    return IsRemovableDevice(binding->source) ? kDriveRemovable : kDriveFixed;
  } catch (...) {
    return kDriveUnknown;
  }
}

void SetVolumeProber(VolumeProber prober) noexcept {
  g_prober.store(prober);
}

bool GetVolumeInformation(std::u16string_view root, VolumeInformation& out) noexcept {
  try {
    out = VolumeInformation{};
    char16_t letter = LetterOfRoot(root);
    if (!letter) {
      SetLastError(error::kInvalidParameter);
      return false;
    }
    VolumeProbe probe;
    if (!ProbeVolume(letter, probe)) {
      if (LastError() == 0) SetLastError(kErrorUnrecognizedVolume);
      return false;
    }
    out.label = probe.label;
    out.fileSystem = probe.fileSystem;
    out.serialNumber = probe.serialNumber;
    return true;
  } catch (...) {
    SetLastError(error::kNotEnoughMemory);
    return false;
  }
}

bool GetDiskFreeSpace(std::u16string_view root, DiskSpace& out) noexcept {
  try {
    out = DiskSpace{};
    char16_t letter = LetterOfRoot(root);
    auto binding = letter ? FindDriveBinding(letter) : std::nullopt;
    if (!binding) {
      SetLastError(error::kPathNotFound);
      return false;
    }
    uint64_t total = 0;
    if (!VolumeSize(*binding, total)) return false;
    out.totalBytes = total;
    VolumeProbe probe;
    if (ProbeVolume(letter, probe) && probe.freeKnown) {
      out.totalFreeBytes = std::min(probe.freeBytes, total);
      out.freeBytesAvailableToCaller = out.totalFreeBytes;
    }
    return true;
  } catch (...) {
    SetLastError(error::kNotEnoughMemory);
    return false;
  }
}

int BindNtfsBlockDevices() noexcept {
  try {
    std::vector<std::string> names;
    if (DIR* dir = opendir("/sys/class/block")) {
      while (dirent* e = readdir(dir))
        if (e->d_name[0] != '.') names.push_back(e->d_name);
      closedir(dir);
    }
    std::sort(names.begin(), names.end());
    uint32_t used = LogicalDrives();
    int bound = 0;
    char16_t next = u'C';
    for (const std::string& name : names) {
      std::string device = "/dev/" + name;
      int fd = open(device.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
      if (fd < 0) continue;  // not readable by this user: not ours to index
      unsigned char boot[512];
      ssize_t n = pread(fd, boot, sizeof boot, 0);
      close(fd);
      if (n != ssize_t(sizeof boot) || std::memcmp(boot + 3, "NTFS    ", 8) != 0) continue;
      while (next <= u'Z' && (used & (1u << (next - u'A')))) ++next;
      if (next > u'Z') break;
      DriveBinding binding;
      binding.letter = next;
      binding.source = device;
      binding.mountPoint = MountPointOf(device);
      BindDrive(binding);
      used |= 1u << (next - u'A');
      ++bound;
    }
    return bound;
  } catch (...) {
    return 0;
  }
}

}  // namespace zw::platform
