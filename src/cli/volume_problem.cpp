#include "cli/volume_problem.h"

#include "platform/last_error.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/drive_table.h"
#include "platform/last_error.h"
#include "platform/partition_table.h"
#endif

namespace zw::cli {

std::string GroupedNumber(uint64_t value) {
  std::string digits = std::to_string(value);
  for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

#ifdef _WIN32

std::string VolumeProblem(char16_t) {
  return {};
}

#else

namespace {

constexpr size_t kBootSectorBytes = 512;
// GPT allows 128 entries; MBR logical partitions are numbered on from 5.
constexpr int kMostPartitions = 128;

// Closes the descriptor on every way out.
struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

bool ReadExactly(int fd, uint64_t offset, void* buffer, size_t length) {
  size_t got = 0;
  auto* out = static_cast<unsigned char*>(buffer);
  while (got < length) {
    const ssize_t n = ::pread(fd, out + got, length - got, off_t(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += size_t(n);
  }
  return true;
}

bool HoldsNtfs(int fd, uint64_t offset) {
  unsigned char boot[kBootSectorBytes];
  return ReadExactly(fd, offset, boot, sizeof boot) && std::memcmp(boot + 3, "NTFS    ", 8) == 0;
}

struct Partitions {
  int count = 0;
  int firstNtfs = 0;  // 0: none holds NTFS
};

platform::DiskReader ReaderOf(int fd) {
  return [fd](uint64_t offset, void* buffer, size_t length) {
    if (ReadExactly(fd, offset, buffer, length)) return true;
    platform::SetLastError(platform::error::kDiskCorrupt);
    return false;
  };
}

bool HasPartition(int fd, uint64_t diskBytes, int number) {
  platform::PartitionExtent extent;
  return platform::FindPartition(ReaderOf(fd), diskBytes, 0, number, extent);
}

Partitions ReadPartitions(int fd, uint64_t diskBytes) {
  const platform::DiskReader reader = ReaderOf(fd);
  Partitions found;
  for (int n = 1; n <= kMostPartitions; ++n) {
    platform::PartitionExtent extent;
    if (!platform::FindPartition(reader, diskBytes, 0, n, extent)) continue;
    ++found.count;
    if (found.firstNtfs == 0 && HoldsNtfs(fd, extent.offset)) found.firstNtfs = n;
  }
  return found;
}

std::string ErrnoProblem(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return "no such file";
    case EACCES:
    case EPERM:
      return "cannot be read (permission denied)";
    default:
      return std::string("cannot be read (") + std::strerror(error) + ")";
  }
}

}  // namespace

std::string VolumeProblem(char16_t letter) {
  std::optional<platform::DriveBinding> binding;
  try {
    binding = platform::FindDriveBinding(letter);
  } catch (...) {
    return {};
  }
  if (!binding) return {};
  struct stat st {};
  if (::stat(binding->source.c_str(), &st) != 0) return ErrnoProblem(errno);
  if (S_ISDIR(st.st_mode)) return "is a directory";
  if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode))
    return "is not a file, block device or disk image";
  Fd file{::open(binding->source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
  if (file.fd < 0) return ErrnoProblem(errno);
  // Block devices tell their size otherwise; only an image can be judged by it.
  const uint64_t bytes = S_ISREG(st.st_mode) ? uint64_t(st.st_size) : 0;
  if (S_ISREG(st.st_mode) && bytes == 0) return "is empty";
  if (S_ISREG(st.st_mode) && bytes < kBootSectorBytes)
    return "is too small to be an NTFS volume (" + std::to_string(bytes) + " bytes)";
  if (bytes == 0) return {};
  if (binding->partition > 0) {
    if (HasPartition(file.fd, bytes, binding->partition)) return {};
    const Partitions found = ReadPartitions(file.fd, bytes);
    if (found.count == 0) return "has no partition table";
    return "has no partition " + std::to_string(binding->partition) + " (it has " +
           std::to_string(found.count) + ")";
  }
  if (HoldsNtfs(file.fd, 0)) return {};
  const Partitions found = ReadPartitions(file.fd, bytes);
  if (found.firstNtfs == 0) return {};
  const std::string n = std::to_string(found.firstNtfs);
  return "has a partition table: partition " + n + " is NTFS; bind it as " + binding->source + ":" +
         n;
}

#endif

namespace {

// " (error 5: access denied)": Windows error numbers on every system.
std::string SystemErrorText(uint32_t code) {
  if (code == 0) return {};
  return " (error " + std::to_string(code) + ": " + platform::ErrorMessage(code) + ")";
}

}  // namespace

std::string OpenFailureReason([[maybe_unused]] char16_t letter, OpenStatus status,
                              uint32_t openError, [[maybe_unused]] bool debug) {
#ifdef _WIN32
  const std::string error = SystemErrorText(openError);
#else
  // A Windows number means little for a Linux path: it is only for --debug.
  const std::string error = debug ? SystemErrorText(openError) : std::string();
  std::string plain = VolumeProblem(letter);
  if (!plain.empty()) return plain + error;
#endif
  switch (status) {
    case OpenStatus::Missing:
      return "no such volume or file" + error;
    case OpenStatus::Unreadable:
      return "cannot be read" + error;
    case OpenStatus::NotNtfs:
      return "not an NTFS volume";
    case OpenStatus::DamagedBootSector:
      return "damaged NTFS boot sector";
    case OpenStatus::Ok:
      break;
  }
  return "cannot be opened" + error;
}

}  // namespace zw::cli
