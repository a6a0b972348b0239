#include "support/real_images.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

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

namespace {

std::mutex mutex;
std::map<RealImage, std::string> problems;  // guarded by mutex

std::string MakeRealImage(RealImage which, std::string& problem) {
#ifdef _WIN32
  (void)which;
  problem = "test images are unpacked only on POSIX";
  return {};
#else
  namespace fs = std::filesystem;
  const Source& source = SourceOf(which);
  const fs::path dir = fs::path(BinaryDir()) / "test-data" / "real";
  const fs::path image = dir / source.image;
  if (fs::exists(image)) return image.string();
  const fs::path archive = fs::path(TestDataDir()) / "ntfs-real" / "images" / source.archive;
  if (!fs::exists(archive)) {
    problem = "no test data: " + archive.string() + " is missing";
    return {};
  }

  // Written under a name of this process and then renamed, so that other
  // test processes never see half an image, nor one a failed run left.
  std::error_code ec;
  fs::create_directories(dir, ec);
  const fs::path temp = dir / (std::string(source.image) + ".tmp" + std::to_string(::getpid()));
  const fs::path errors = temp.string() + ".err";
  const std::string command = "sh -c " + ShellQuote(source.script) + " " +
                              ShellQuote(archive.string()) + " " + ShellQuote(temp.string()) +
                              " 2>" + ShellQuote(errors.string());
  if (std::system(command.c_str()) == 0) {
    fs::rename(source.produced ? temp / source.produced : temp, image, ec);
  }
  if (!fs::exists(image)) {
    std::ifstream in(errors);
    std::ostringstream text;
    text << in.rdbuf();
    problem = "could not unpack " + archive.string() + " (" + source.script + "): " + text.str();
  }
  fs::remove_all(temp, ec);
  fs::remove(errors, ec);
  return fs::exists(image) ? image.string() : std::string();
#endif
}

}  // namespace

std::string RealImagePath(RealImage which) {
  std::lock_guard lock(mutex);
  std::string problem;
  std::string path = MakeRealImage(which, problem);
  if (path.empty()) problems[which] = problem;
  return path;
}

std::string RealImageProblem(RealImage which) {
  std::lock_guard lock(mutex);
  const auto it = problems.find(which);
  return it == problems.end() ? std::string() : it->second;
}

}  // namespace zw::test
