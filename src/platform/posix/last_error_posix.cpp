#include <string>

#include "platform/last_error.h"

namespace zw::platform {

namespace {
thread_local uint32_t lastError = 0;
}

uint32_t LastError() noexcept {
  return lastError;
}
void SetLastError(uint32_t code) noexcept {
  lastError = code;
}

// Windows numbers beyond the known few have no text here.
std::string SystemErrorMessage(uint32_t) {
  return {};
}

}  // namespace zw::platform
