// The registry as a document of keys and typed values: the in-memory store,
// and the text form of the POSIX store file. Key and value names compare
// with ASCII case folded, as the Windows registry compares them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace zw::platform {

struct RegistryKeyValues {
  std::u16string path;  // as first created
  // folded name -> (name as written, value)
  std::map<std::u16string, std::pair<std::u16string, RegistryValue>> values;
};

namespace detail {

struct RegistryDocument {
  std::map<std::u16string, RegistryKeyValues> keys;  // folded path -> key
};

std::u16string FoldName(std::u16string_view name);
bool ValidKeyPath(std::u16string_view path);

// Query on a snapshot, with RegQueryValueExW's rules.
[[nodiscard]] uint32_t QueryValues(const RegistryKeyValues& key, std::u16string_view name,
                                   uint32_t* type, void* data, uint32_t* size) noexcept;
void SetValue(RegistryKeyValues& key, std::u16string_view name, uint32_t type, const void* data,
              uint32_t size);
// The key, created when `create` (else null when missing).
RegistryKeyValues* FindKey(RegistryDocument& doc, std::u16string_view path, bool create);
void DeleteTree(RegistryDocument& doc, std::u16string_view path);

// The store file's text. Parsing is strict: anything unexpected, or a file
// that does not reach its end line (truncated), fails.
std::string SerializeRegistry(const RegistryDocument& doc);
[[nodiscard]] bool ParseRegistry(std::string_view text, RegistryDocument& doc);

// The system store (POSIX file or Windows registry), one per platform.
[[nodiscard]] uint32_t SystemOpen(std::u16string_view path, bool forWrite, intptr_t& handle,
                                  std::shared_ptr<RegistryKeyValues>& values) noexcept;
void SystemClose(intptr_t handle) noexcept;
[[nodiscard]] uint32_t SystemQuery(intptr_t handle, const RegistryKeyValues* values,
                                   std::u16string_view name, uint32_t* type, void* data,
                                   uint32_t* size) noexcept;
// `erase`: delete the value instead of setting it.
[[nodiscard]] uint32_t SystemSet(intptr_t handle, std::u16string_view path,
                                 std::shared_ptr<RegistryKeyValues>& values,
                                 std::u16string_view name, bool erase, uint32_t type,
                                 const void* data, uint32_t size) noexcept;
[[nodiscard]] uint32_t SystemDeleteTree(std::u16string_view path) noexcept;

}  // namespace detail
}  // namespace zw::platform
