// Why a bound volume cannot be used, in plain terms, found by looking at the
// file itself: the platform layer's error numbers are Windows numbers, which
// mean little to someone who named a Linux path.
#pragma once

#include <cstdint>
#include <string>

namespace zw::cli {

// "is a directory", "is empty", "has no partition 2 (it has 1)", ... for the
// volume bound to `letter`; "" when nothing plainer than the error number was
// found (and always on Windows, whose letters are real volumes).
std::string VolumeProblem(char16_t letter);

// "1,234,567".
std::string GroupedNumber(uint64_t value);

}  // namespace zw::cli
