#include <string>

#include "platform/system_debug_line.h"
#include "platform/win32/win32_text.h"

namespace zw::platform {

void SystemDebugLine(std::u16string_view line) noexcept {
  try {
    const std::u16string text(line);  // the API wants it terminated
    ::OutputDebugStringW(AsWide(text.c_str()));
  } catch (...) {
    // No memory for a diagnostic: drop it rather than fail the caller.
  }
}

}  // namespace zw::platform
