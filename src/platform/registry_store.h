// The registry as a document of keys and typed values, with the rules the
// Windows registry keeps (names compare with ASCII case folded; creating a
// key creates its parents), for the POSIX store file and any stand-in store;
// and the calls each platform's store answers.
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
// REG_SZ data: the text's UTF-16LE bytes and a terminating NUL.
std::string TextAsData(std::u16string_view text);

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

// A store that takes the system's place for every key opened while it is
// installed (tests keep one in memory). Calls are as the System ones above;
// a key's values are read from the snapshot `values`.
class RegistryStandIn {
 public:
  virtual ~RegistryStandIn() = default;
  [[nodiscard]] virtual uint32_t Open(std::u16string_view path, bool forWrite,
                                      std::shared_ptr<RegistryKeyValues>& values) noexcept = 0;
  [[nodiscard]] virtual uint32_t Change(std::u16string_view path,
                                        std::shared_ptr<RegistryKeyValues>& values,
                                        std::u16string_view name, bool erase, uint32_t type,
                                        const void* data, uint32_t size) noexcept = 0;
  [[nodiscard]] virtual uint32_t DeleteTree(std::u16string_view path) noexcept = 0;
};
// Null: the system's store again. Not while keys are open.
void SetRegistryStandIn(RegistryStandIn* store) noexcept;

}  // namespace detail
}  // namespace zw::platform
