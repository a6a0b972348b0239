#include "support/memory_registry.h"

#include <mutex>
#include <new>

#include "platform/registry_store.h"

namespace zw::platform {

namespace {

class MemoryRegistry final : public detail::RegistryStandIn {
 public:
  uint32_t Open(std::u16string_view path, bool forWrite,
                std::shared_ptr<RegistryKeyValues>& values) noexcept override {
    try {
      std::lock_guard lock(mutex_);
      RegistryKeyValues* k = detail::FindKey(doc_, path, forWrite);
      if (!k) return kErrorFileNotFound;
      values = std::make_shared<RegistryKeyValues>(*k);
      return kErrorSuccess;
    } catch (const std::bad_alloc&) {
      return kErrorInvalidData;
    }
  }

  uint32_t Change(std::u16string_view path, std::shared_ptr<RegistryKeyValues>& values,
                  std::u16string_view name, bool erase, uint32_t type, const void* data,
                  uint32_t size) noexcept override {
    try {
      std::lock_guard lock(mutex_);
      RegistryKeyValues* k = detail::FindKey(doc_, path, false);
      if (!k) return kErrorFileNotFound;  // deleted while open
      if (erase) {
        if (!k->values.erase(detail::FoldName(name))) return kErrorFileNotFound;
      } else {
        detail::SetValue(*k, name, type, data, size);
      }
      values = std::make_shared<RegistryKeyValues>(*k);
      return kErrorSuccess;
    } catch (const std::bad_alloc&) {
      return kErrorInvalidData;
    }
  }

  uint32_t DeleteTree(std::u16string_view path) noexcept override {
    try {
      std::lock_guard lock(mutex_);
      detail::DeleteTree(doc_, path);
      return kErrorSuccess;
    } catch (const std::bad_alloc&) {
      return kErrorInvalidData;
    }
  }

  void Clear() {
    std::lock_guard lock(mutex_);
    doc_.keys.clear();
  }

 private:
  std::mutex mutex_;
  detail::RegistryDocument doc_;
};

}  // namespace

void UseMemoryRegistry(bool on) {
  static MemoryRegistry store;
  store.Clear();
  detail::SetRegistryStandIn(on ? &store : nullptr);
}

}  // namespace zw::platform
