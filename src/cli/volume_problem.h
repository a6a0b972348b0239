// Why a bound volume cannot be used, in plain terms, found by looking at the
// file itself: the platform layer's error numbers are Windows numbers, which
// mean little to someone who named a Linux path.
#pragma once

#include <cstdint>
#include <string>

#include "ntfs/volume_reader.h"

namespace zw::cli {

// "is a directory", "is empty", "has no partition 2 (it has 1)", ... for the
// volume bound to `letter`; "" when nothing plainer than the error number was
// found (and always on Windows, whose letters are real volumes).
std::string VolumeProblem(char16_t letter);

// Why opening the volume bound to `letter` failed, for one line on stderr:
// the plain reason where one is found, else by `status`. The Windows error
// number is added on Windows, and elsewhere only with `debug`.
std::string OpenFailureReason(char16_t letter, OpenStatus status, uint32_t openError, bool debug);

// "1,234,567".
std::string GroupedNumber(uint64_t value);

}  // namespace zw::cli
