// The system's own debugger channel, used by OutputDebugLine before the sink.
// Internal to the platform layer.
#pragma once

#include <string_view>

namespace zw::platform {

void SystemDebugLine(std::u16string_view line) noexcept;

}  // namespace zw::platform
