// One registry key below HKEY_CURRENT_USER, with typed values, keeping the
// meaning of RegOpenKeyExW / RegCreateKeyExW / RegQueryValueExW /
// RegSetValueExW: calls return a system error code (0 on success) and never
// throw. On Windows this is the real registry; on POSIX a typed key/value
// file under $XDG_CONFIG_HOME/zanderwyn/ (default ~/.config/zanderwyn/),
// rewritten atomically, in a folder that must be the user's own. Tests can put
// a store of their own in its place (registry_store.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/error_codes.h"

namespace zw::platform {

// Value types, numbered as Windows numbers them.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiSz = 7;
inline constexpr uint32_t kRegQword = 11;

struct RegistryValue {
  uint32_t type = kRegNone;
  std::string data;  // raw bytes, as stored
};

class RegistryKey {
 public:
  RegistryKey() = default;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  RegistryKey(RegistryKey&& other) noexcept;
  RegistryKey& operator=(RegistryKey&& other) noexcept;
  ~RegistryKey() { Close(); }

  // HKEY_CURRENT_USER\<path>. ForRead fails with kErrorFileNotFound when the
  // key does not exist; ForWrite creates it.
  [[nodiscard]] uint32_t OpenForRead(std::u16string_view path) noexcept;
  [[nodiscard]] uint32_t OpenForWrite(std::u16string_view path) noexcept;
  void Close() noexcept;
  bool IsOpen() const noexcept { return open_; }

  // RegQueryValueExW: copies at most *size bytes into `data` (may be null to
  // ask for the size), stores the type and the full size. kErrorMoreData when
  // the buffer is too small (then nothing is copied).
  [[nodiscard]] uint32_t Query(std::u16string_view name, uint32_t* type, void* data,
                               uint32_t* size) const noexcept;
  // RegSetValueExW. Needs a key opened for writing.
  [[nodiscard]] uint32_t Set(std::u16string_view name, uint32_t type, const void* data,
                             uint32_t size) noexcept;
  [[nodiscard]] uint32_t Delete(std::u16string_view name) noexcept;

  // Typed helpers. A value of another type gives kErrorUnsupportedType.
  [[nodiscard]] uint32_t QueryDword(std::u16string_view name, uint32_t& value) const noexcept;
  [[nodiscard]] uint32_t SetDword(std::u16string_view name, uint32_t value) noexcept;
  // REG_SZ or REG_EXPAND_SZ (not expanded); the text ends at its first NUL.
  [[nodiscard]] uint32_t QueryString(std::u16string_view name,
                                     std::u16string& value) const noexcept;
  [[nodiscard]] uint32_t SetString(std::u16string_view name, std::u16string_view value) noexcept;

 private:
  bool open_ = false;
  bool writable_ = false;
  std::u16string path_;
  bool memory_ = false;  // opened in a stand-in store
  intptr_t handle_ = 0;  // HKEY on Windows
  // POSIX and stand-in stores: the values of the key as of the last open or write.
  std::shared_ptr<struct RegistryKeyValues> values_;
};

// Removes the key and everything below it. Tests only.
[[nodiscard]] uint32_t DeleteRegistryTree(std::u16string_view path) noexcept;

// POSIX: the folder of the store file ("" = the default). Tests point it at a
// scratch folder. Ignored on Windows.
void SetRegistryDirectory(const std::string& directory);

// POSIX: once the store file has been found damaged or truncated, the path
// it was (or will be) kept aside under, for a one-time notice; empty when
// nothing has happened. Taking it clears it.
std::string TakeRegistryDamageNotice();

// POSIX: when the settings folder or a file in it was refused (a symbolic
// link, a FIFO or other non-regular file, another user's), the path and the
// reason, e.g. "/x/zanderwyn/registry is a symbolic link"; defaults are then
// read and nothing is written. Given once per process; empty otherwise.
std::string TakeRegistryRefusalNotice();

}  // namespace zw::platform
