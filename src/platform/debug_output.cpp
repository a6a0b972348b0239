#include "platform/debug_output.h"

#include <memory>
#include <mutex>

#include "platform/system_debug_line.h"

namespace zw::platform {

namespace {
std::mutex sinkMutex;
std::shared_ptr<const DebugSink> currentSink;  // guarded by sinkMutex
}  // namespace

void OutputDebugLine(std::u16string_view line) noexcept {
  SystemDebugLine(line);
  std::shared_ptr<const DebugSink> sink;
  {
    std::lock_guard lock(sinkMutex);
    sink = currentSink;
  }
  // Called outside the lock so that a sink may itself write lines.
  if (sink) {
    try {
      (*sink)(line);
    } catch (...) {
      // A diagnostic must never take the program down.
    }
  }
}

void SetDebugSink(DebugSink sink) {
  auto next = sink ? std::make_shared<const DebugSink>(std::move(sink)) : nullptr;
  std::lock_guard lock(sinkMutex);
  currentSink = std::move(next);
}

}  // namespace zw::platform
