// Diagnostic lines for a debugger (OutputDebugStringW on Windows). A sink can
// also be installed: the command line's --debug writes lines to stderr, and
// tests capture them.
#pragma once

#include <functional>
#include <string_view>

namespace zw::platform {

using DebugSink = std::function<void(std::u16string_view line)>;

void OutputDebugLine(std::u16string_view line) noexcept;
// Replaces the sink; an empty one removes it. Not for use while other
// threads are writing lines.
void SetDebugSink(DebugSink sink);

}  // namespace zw::platform
