// The text form of the POSIX store file: a header line, "[key path]" lines
// each followed by its "\"name\"=type:value" lines, and an end line, so that
// a file cut short is told apart from a complete one.
#pragma once

#include <string>
#include <string_view>

#include "platform/registry_store.h"

namespace zw::platform::detail {

std::string SerializeRegistry(const RegistryDocument& doc);
// Strict: anything unexpected, malformed UTF-8, or a file that does not
// reach its end line (truncated), fails.
[[nodiscard]] bool ParseRegistry(std::string_view text, RegistryDocument& doc);

}  // namespace zw::platform::detail
