#include "platform/system_debug_line.h"

namespace zw::platform {

// No debugger channel here: lines reach a terminal only through a sink.
void SystemDebugLine(std::u16string_view) noexcept {}

}  // namespace zw::platform
