// Diagnostic lines for a debugger (OutputDebugStringW on Windows). A sink can
// also be installed: the command line's --debug writes lines to stderr, and
// tests capture them.
#pragma once

#include <functional>
#include <string_view>

namespace zw::platform {

using DebugSink = std::function<void(std::u16string_view line)>;

// Safe from any thread. The sink is called outside any lock, so lines from
// several threads may reach it at the same time; it must not throw (what it
// throws is swallowed).
void OutputDebugLine(std::u16string_view line) noexcept;
// Replaces the sink; an empty one removes it. A line already being written
// may still reach the old sink.
void SetDebugSink(DebugSink sink);

}  // namespace zw::platform
