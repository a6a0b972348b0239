// The registry key of the current user, through advapi32. RegistryKey owns
// the HKEY (closed in its destructor); nothing else keeps one open.
#include "platform/win32/win32_text.h"  // <windows.h> first

#include <string>

#include "platform/registry.h"
#include "platform/registry_store.h"

namespace zw::platform {
namespace {

HKEY AsKey(intptr_t h) {
  return reinterpret_cast<HKEY>(h);
}

std::wstring Wide(std::u16string_view text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

}  // namespace

void SetRegistryDirectory(const std::string&) {}
std::string TakeRegistryDamageNotice() {
  return {};
}
std::string TakeRegistryRefusalNotice() {
  return {};
}

namespace detail {

uint32_t SystemOpen(std::u16string_view path, bool forWrite, intptr_t& handle,
                    std::shared_ptr<RegistryKeyValues>&) noexcept {
  try {
    const std::wstring subkey = Wide(path);
    HKEY key = nullptr;
    LSTATUS status;
    if (forWrite) {
      status =
          ::RegCreateKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
    } else {
      status = ::RegOpenKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ, &key);
    }
    if (status != ERROR_SUCCESS) return uint32_t(status);
    handle = reinterpret_cast<intptr_t>(key);
    return kErrorSuccess;
  } catch (...) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

void SystemClose(intptr_t handle) noexcept {
  if (handle) ::RegCloseKey(AsKey(handle));
}

uint32_t SystemQuery(intptr_t handle, const RegistryKeyValues*, std::u16string_view name,
                     uint32_t* type, void* data, uint32_t* size) noexcept {
  try {
    const std::wstring value = Wide(name);
    DWORD t = 0;
    DWORD n = size ? DWORD(*size) : 0;
    LSTATUS status = ::RegQueryValueExW(AsKey(handle), value.c_str(), nullptr, &t,
                                        static_cast<BYTE*>(data), size ? &n : nullptr);
    if (type) *type = t;
    if (size) *size = n;
    return uint32_t(status);
  } catch (...) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

uint32_t SystemSet(intptr_t handle, std::u16string_view, std::shared_ptr<RegistryKeyValues>&,
                   std::u16string_view name, bool erase, uint32_t type, const void* data,
                   uint32_t size) noexcept {
  try {
    const std::wstring value = Wide(name);
    if (erase) return uint32_t(::RegDeleteValueW(AsKey(handle), value.c_str()));
    return uint32_t(::RegSetValueExW(AsKey(handle), value.c_str(), 0, DWORD(type),
                                     static_cast<const BYTE*>(data), DWORD(size)));
  } catch (...) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

uint32_t SystemDeleteTree(std::u16string_view path) noexcept {
  try {
    const std::wstring subkey = Wide(path);
    LSTATUS status = ::RegDeleteTreeW(HKEY_CURRENT_USER, subkey.c_str());
    if (status != ERROR_SUCCESS) return uint32_t(status);
    // Whether the tree call took the key itself differs between versions.
    status = ::RegDeleteKeyW(HKEY_CURRENT_USER, subkey.c_str());
    return status == ERROR_FILE_NOT_FOUND ? kErrorSuccess : uint32_t(status);
  } catch (...) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

}  // namespace detail
}  // namespace zw::platform
