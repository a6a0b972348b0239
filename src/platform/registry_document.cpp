#include <cstring>
#include <new>

#include "base/ascii.h"
#include "platform/registry_store.h"

namespace zw::platform::detail {

std::u16string FoldName(std::u16string_view name) {
  return FoldAscii(name);
}

bool ValidKeyPath(std::u16string_view path) {
  if (path.empty() || path.front() == u'\\' || path.back() == u'\\') return false;
  for (size_t i = 0; i < path.size(); ++i) {
    char16_t c = path[i];
    if (c < 0x20 || c == 0x7F || c == u'[' || c == u']') return false;
    if (c >= 0xD800 && c <= 0xDFFF) return false;  // the store file keeps paths as UTF-8
    if (c == u'\\' && i + 1 < path.size() && path[i + 1] == u'\\') return false;
  }
  return true;
}

uint32_t QueryValues(const RegistryKeyValues& key, std::u16string_view name, uint32_t* type,
                     void* data, uint32_t* size) noexcept {
  try {
    auto it = key.values.find(FoldName(name));
    if (it == key.values.end()) return kErrorFileNotFound;
    const RegistryValue& v = it->second.second;
    if (type) *type = v.type;
    if (!size) return data ? kErrorInvalidParameter : kErrorSuccess;
    uint32_t needed = uint32_t(v.data.size());
    if (data && *size < needed) {
      *size = needed;
      return kErrorMoreData;
    }
    if (data && needed) std::memcpy(data, v.data.data(), needed);
    *size = needed;
    return kErrorSuccess;
  } catch (const std::bad_alloc&) {
    return kErrorInvalidData;
  }
}

void SetValue(RegistryKeyValues& key, std::u16string_view name, uint32_t type, const void* data,
              uint32_t size) {
  RegistryValue v;
  v.type = type;
  if (size) v.data.assign(static_cast<const char*>(data), size);
  key.values[FoldName(name)] = {std::u16string(name), std::move(v)};
}

RegistryKeyValues* FindKey(RegistryDocument& doc, std::u16string_view path, bool create) {
  std::u16string folded = FoldName(path);
  auto it = doc.keys.find(folded);
  if (it != doc.keys.end()) return &it->second;
  if (!create) return nullptr;
  // Creating a key creates its parents, as RegCreateKeyExW does.
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] != u'\\') continue;
    auto& parent = doc.keys[folded.substr(0, i)];
    if (parent.path.empty()) parent.path = std::u16string(path.substr(0, i));
  }
  RegistryKeyValues& key = doc.keys[folded];
  key.path = std::u16string(path);
  return &key;
}

void DeleteTree(RegistryDocument& doc, std::u16string_view path) {
  std::u16string folded = FoldName(path);
  std::u16string prefix = folded + u'\\';
  for (auto it = doc.keys.begin(); it != doc.keys.end();) {
    if (it->first == folded || it->first.compare(0, prefix.size(), prefix) == 0)
      it = doc.keys.erase(it);
    else
      ++it;
  }
}

std::string TextAsData(std::u16string_view text) {
  std::string data;
  data.reserve(text.size() * 2 + 2);
  for (char16_t c : text) {
    data += char(c & 0xFF);
    data += char(c >> 8);
  }
  data += '\0';
  data += '\0';
  return data;
}

}  // namespace zw::platform::detail
