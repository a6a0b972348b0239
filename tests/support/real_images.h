// The volumes written by Windows in the shared test data, unpacked once into
// the build tree and shared by every test process after that.
#pragma once

#include <string>

namespace zw::test {

enum class RealImage {
  Charlie,      // go-ntfs-charlie: a 40 MiB volume
  VssTest,      // plaso-vsstest: a volume with shadow copies
  Windows20H1,  // ntfs-samples 20H1: a whole disk, NTFS in MBR partition 1
};

// The raw image, or "" where it cannot be made: no test data, a failing
// unpacking tool (bunzip2, qemu-img, tar), or Windows (no sh to unpack with).
std::string RealImagePath(RealImage which);
// Why RealImagePath gave "": what was missing, or the unpacker's own message.
std::string RealImageProblem(RealImage which);

// `arg` quoted for sh.
std::string ShellQuote(const std::string& arg);

}  // namespace zw::test
