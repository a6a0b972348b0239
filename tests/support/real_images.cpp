#include "support/real_images.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "support/test_paths.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace zw::test {

namespace {

struct Source {
  const char* archive;  // under ntfs-real/images
  const char* image;    // the name it gets in the build tree
  // sh script: $0 is the archive, $1 the file to write (or, with
  // `produced`, a folder to unpack into).
  const char* script;
  const char* produced;  // the image's name inside that folder, if any
};

const Source& SourceOf(RealImage which) {
  static const Source sources[] = {
      {"go-ntfs-charlie.dd.bz2", "charlie.dd", "bunzip2 -kc \"$0\" > \"$1\"", nullptr},
      {"plaso-vsstest.qcow2", "vsstest.raw", "qemu-img convert -f qcow2 -O raw \"$0\" \"$1\"",
       nullptr},
      {"ntfs-samples-ntfs-20h1.tgz", "ntfs-20h1.raw",
       "mkdir -p \"$1\" && tar -xzSf \"$0\" -C \"$1\"", "ntfs.raw"},
  };
  return sources[static_cast<int>(which)];
}

}  // namespace

std::string ShellQuote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string RealImagePath(RealImage which) {
#ifdef _WIN32
  (void)which;
  return {};
#else
  namespace fs = std::filesystem;
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  const Source& source = SourceOf(which);
  const fs::path dir = fs::path(BinaryDir()) / "test-data" / "real";
  const fs::path image = dir / source.image;
  if (fs::exists(image)) return image.string();
  const fs::path archive = fs::path(TestDataDir()) / "ntfs-real" / "images" / source.archive;
  if (!fs::exists(archive)) return {};

  // Written under a name of this process and then renamed, so that other
  // test processes never see half an image, nor one a failed run left.
  std::error_code ec;
  fs::create_directories(dir, ec);
  const fs::path temp = dir / (std::string(source.image) + ".tmp" + std::to_string(::getpid()));
  const std::string command = "sh -c " + ShellQuote(source.script) + " " +
                              ShellQuote(archive.string()) + " " + ShellQuote(temp.string()) +
                              " 2>/dev/null";
  if (std::system(command.c_str()) == 0) {
    fs::rename(source.produced ? temp / source.produced : temp, image, ec);
  }
  fs::remove_all(temp, ec);
  return fs::exists(image) ? image.string() : std::string();
#endif
}

}  // namespace zw::test
