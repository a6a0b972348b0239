// A volume held in memory for the fuzz targets: a memfd bound to a drive
// letter through the drive table, so that reads go through the real raw
// volume (alignment checks included).
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "platform/drive_table.h"

namespace zw::fuzz {

class MemoryVolume {
 public:
  explicit MemoryVolume(char16_t letter) : letter_(letter) {
    fd_ = memfd_create("zw-fuzz-volume", 0);
    if (fd_ >= 0) platform::BindDrive({letter_, "/proc/self/fd/" + std::to_string(fd_), 0, ""});
  }
  ~MemoryVolume() {
    platform::UnbindDrive(letter_);
    if (fd_ >= 0) close(fd_);
  }
  MemoryVolume(const MemoryVolume&) = delete;
  MemoryVolume& operator=(const MemoryVolume&) = delete;

  // Replaces the whole content.
  bool Set(const uint8_t* data, size_t size) {
    if (fd_ < 0 || ftruncate(fd_, 0) != 0 || ftruncate(fd_, static_cast<off_t>(size)) != 0)
      return false;
    return Write(0, data, size);
  }
  bool Write(uint64_t offset, const uint8_t* data, size_t size) {
    size_t done = 0;
    while (done < size) {
      const ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(offset + done));
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }
  char16_t Letter() const { return letter_; }

 private:
  char16_t letter_;
  int fd_ = -1;
};

}  // namespace zw::fuzz
