#include "platform/registry.h"

#include <atomic>
#include <new>

#include "platform/registry_store.h"

namespace zw::platform {

namespace {

std::atomic<detail::RegistryStandIn*> g_standIn{nullptr};

}  // namespace

void detail::SetRegistryStandIn(RegistryStandIn* store) noexcept {
  g_standIn.store(store);
}

RegistryKey::RegistryKey(RegistryKey&& other) noexcept {
  *this = std::move(other);
}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
  if (this != &other) {
    Close();
    open_ = other.open_;
    writable_ = other.writable_;
    memory_ = other.memory_;
    path_ = std::move(other.path_);
    handle_ = other.handle_;
    values_ = std::move(other.values_);
    other.open_ = false;
    other.handle_ = 0;
  }
  return *this;
}

static uint32_t OpenKey(bool& open, bool& writable, bool& memory, std::u16string& path_,
                        intptr_t& handle, std::shared_ptr<RegistryKeyValues>& values,
                        std::u16string_view path, bool forWrite) noexcept {
  try {
    if (!detail::ValidKeyPath(path)) return kErrorInvalidParameter;
    detail::RegistryStandIn* standIn = g_standIn.load();
    memory = standIn != nullptr;
    const uint32_t err = memory ? standIn->Open(path, forWrite, values)
                                : detail::SystemOpen(path, forWrite, handle, values);
    if (err) return err;
    path_ = std::u16string(path);
    open = true;
    writable = forWrite;
    return kErrorSuccess;
  } catch (const std::bad_alloc&) {
    return kErrorInvalidData;
  }
}

uint32_t RegistryKey::OpenForRead(std::u16string_view path) noexcept {
  Close();
  return OpenKey(open_, writable_, memory_, path_, handle_, values_, path, false);
}

uint32_t RegistryKey::OpenForWrite(std::u16string_view path) noexcept {
  Close();
  return OpenKey(open_, writable_, memory_, path_, handle_, values_, path, true);
}

void RegistryKey::Close() noexcept {
  if (open_ && !memory_) detail::SystemClose(handle_);
  open_ = writable_ = memory_ = false;
  handle_ = 0;
  values_.reset();
}

uint32_t RegistryKey::Query(std::u16string_view name, uint32_t* type, void* data,
                            uint32_t* size) const noexcept {
  if (!open_) return kErrorInvalidHandle;
  if (memory_) return detail::QueryValues(*values_, name, type, data, size);
  return detail::SystemQuery(handle_, values_.get(), name, type, data, size);
}

static uint32_t Change(bool open, bool writable, bool memory, const std::u16string& path,
                       intptr_t handle, std::shared_ptr<RegistryKeyValues>& values,
                       std::u16string_view name, bool erase, uint32_t type, const void* data,
                       uint32_t size) noexcept {
  if (!open) return kErrorInvalidHandle;
  if (!writable) return kErrorAccessDenied;
  if (size && !data) return kErrorInvalidParameter;
  if (!memory) return detail::SystemSet(handle, path, values, name, erase, type, data, size);
  detail::RegistryStandIn* standIn = g_standIn.load();
  if (!standIn) return kErrorInvalidHandle;  // taken away while the key was open
  return standIn->Change(path, values, name, erase, type, data, size);
}

uint32_t RegistryKey::Set(std::u16string_view name, uint32_t type, const void* data,
                          uint32_t size) noexcept {
  return Change(open_, writable_, memory_, path_, handle_, values_, name, false, type, data, size);
}

uint32_t RegistryKey::Delete(std::u16string_view name) noexcept {
  return Change(open_, writable_, memory_, path_, handle_, values_, name, true, 0, nullptr, 0);
}

uint32_t RegistryKey::QueryDword(std::u16string_view name, uint32_t& value) const noexcept {
  uint32_t type = 0;
  uint8_t bytes[4] = {};
  uint32_t size = sizeof bytes;
  uint32_t err = Query(name, &type, bytes, &size);
  if (err == kErrorMoreData) return kErrorUnsupportedType;
  if (err) return err;
  if (type != kRegDword || size != 4) return kErrorUnsupportedType;
  value = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
          uint32_t(bytes[3]) << 24;
  return kErrorSuccess;
}

uint32_t RegistryKey::SetDword(std::u16string_view name, uint32_t value) noexcept {
  uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16),
                      uint8_t(value >> 24)};
  return Set(name, kRegDword, bytes, 4);
}

uint32_t RegistryKey::QueryString(std::u16string_view name, std::u16string& value) const noexcept {
  try {
    uint32_t type = 0, size = 0;
    uint32_t err = Query(name, &type, nullptr, &size);
    if (err) return err;
    if (type != kRegSz && type != kRegExpandSz) return kErrorUnsupportedType;
    std::string bytes(size, '\0');
    err = Query(name, &type, bytes.data(), &size);
    if (err) return err;  // changed in between: treat as unreadable
    std::u16string text;
    for (size_t i = 0; i + 1 < size; i += 2) {
      char16_t c = char16_t(uint8_t(bytes[i]) | (uint8_t(bytes[i + 1]) << 8));
      if (c == 0) break;
      text += c;
    }
    value = std::move(text);
    return kErrorSuccess;
  } catch (const std::bad_alloc&) {
    return kErrorInvalidData;
  }
}

uint32_t RegistryKey::SetString(std::u16string_view name, std::u16string_view value) noexcept {
  try {
    std::string data = detail::TextAsData(value);
    return Set(name, kRegSz, data.data(), uint32_t(data.size()));
  } catch (const std::bad_alloc&) {
    return kErrorInvalidData;
  }
}

uint32_t DeleteRegistryTree(std::u16string_view path) noexcept {
  try {
    if (!detail::ValidKeyPath(path)) return kErrorInvalidParameter;
    if (detail::RegistryStandIn* standIn = g_standIn.load()) return standIn->DeleteTree(path);
    return detail::SystemDeleteTree(path);
  } catch (const std::bad_alloc&) {
    return kErrorInvalidData;
  }
}

}  // namespace zw::platform
