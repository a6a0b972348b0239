#include <cstring>
#include <mutex>
#include <new>

#include "base/ascii.h"
#include "base/utf.h"
#include "platform/registry.h"
#include "platform/registry_store.h"

namespace zw::platform {
namespace detail {

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

namespace {

constexpr std::string_view kHeader = "Zanderwyn registry 1";
constexpr char kHex[] = "0123456789abcdef";

// Text in double quotes: readable UTF-8, with \\, \" and \uXXXX for control
// characters and unpaired surrogates, so every code unit survives.
void AppendQuoted(std::string& out, std::u16string_view text) {
  out += '"';
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      AppendUtf8(out, text.substr(i, 2));
      ++i;
    } else if (c == u'"' || c == u'\\') {
      out += '\\';
      out += char(c);
    } else if (c < 0x20 || c == 0x7F || (c >= 0xD800 && c <= 0xDFFF)) {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 0xF];
    } else {
      AppendUtf8(out, text.substr(i, 1));
    }
  }
  out += '"';
}

// Strings are written as text only when they are one NUL-terminated string
// with no NUL inside; anything else keeps its exact bytes as hex.
bool IsPlainString(const RegistryValue& v) {
  if (v.type != kRegSz && v.type != kRegExpandSz) return false;
  size_t n = v.data.size();
  if (n < 2 || n % 2) return false;
  for (size_t i = 0; i + 2 < n; i += 2)
    if (v.data[i] == 0 && v.data[i + 1] == 0) return false;
  return v.data[n - 2] == 0 && v.data[n - 1] == 0;
}

std::u16string DataAsText(const std::string& data) {
  std::u16string text(data.size() / 2 - 1, u'\0');
  for (size_t i = 0; i < text.size(); ++i)
    text[i] = char16_t(uint8_t(data[2 * i]) | (uint8_t(data[2 * i + 1]) << 8));
  return text;
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

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Parses a quoted text starting at s[i] == '"'; leaves i after the quote.
bool ParseQuoted(std::string_view s, size_t& i, std::u16string& out) {
  if (i >= s.size() || s[i] != '"') return false;
  ++i;
  out.clear();
  while (i < s.size()) {
    char c = s[i];
    if (c == '"') {
      ++i;
      return true;
    }
    if (uint8_t(c) < 0x20) return false;
    if (c == '\\') {
      if (i + 1 >= s.size()) return false;
      char e = s[i + 1];
      if (e == '"' || e == '\\') {
        out += char16_t(e);
        i += 2;
      } else if (e == 'u') {
        if (i + 6 > s.size()) return false;
        uint32_t v = 0;
        for (size_t k = i + 2; k < i + 6; ++k) {
          int d = HexDigit(s[k]);
          if (d < 0) return false;
          v = v * 16 + uint32_t(d);
        }
        out += char16_t(v);
        i += 6;
      } else {
        return false;
      }
      continue;
    }
    char32_t cp;
    if (!NextCodePoint(s, i, cp)) return false;
    AppendUtf16(out, cp);
  }
  return false;
}

bool ParseUtf8(std::string_view s, std::u16string& out) {
  out.clear();
  for (size_t i = 0; i < s.size();) {
    char32_t cp;
    if (!NextCodePoint(s, i, cp)) return false;
    AppendUtf16(out, cp);
  }
  return true;
}

bool ParseValue(std::string_view payload, RegistryValue& v) {
  auto starts = [&](std::string_view p) { return payload.substr(0, p.size()) == p; };
  if (starts("dword:")) {
    std::string_view digits = payload.substr(6);
    if (digits.size() != 8) return false;
    uint32_t x = 0;
    for (char c : digits) {
      int d = HexDigit(c);
      if (d < 0) return false;
      x = x * 16 + uint32_t(d);
    }
    v.type = kRegDword;
    uint8_t le[4] = {uint8_t(x), uint8_t(x >> 8), uint8_t(x >> 16), uint8_t(x >> 24)};
    v.data.assign(reinterpret_cast<const char*>(le), 4);
    return true;
  }
  if (starts("sz:") || starts("expand_sz:")) {
    bool expand = starts("expand_sz:");
    size_t i = expand ? 10 : 3;
    std::u16string text;
    if (!ParseQuoted(payload, i, text) || i != payload.size()) return false;
    for (char16_t c : text)
      if (c == 0) return false;
    v.type = expand ? kRegExpandSz : kRegSz;
    v.data = TextAsData(text);
    return true;
  }
  if (starts("hex(")) {
    size_t close = payload.find("):");
    if (close == std::string_view::npos || close == 4 || close > 14) return false;
    uint64_t type = 0;
    for (size_t k = 4; k < close; ++k) {
      if (payload[k] < '0' || payload[k] > '9') return false;
      type = type * 10 + uint64_t(payload[k] - '0');
    }
    if (type > UINT32_MAX) return false;
    std::string_view bytes = payload.substr(close + 2);
    v.type = uint32_t(type);
    v.data.clear();
    for (size_t k = 0; k < bytes.size();) {
      if (k + 2 > bytes.size()) return false;
      int hi = HexDigit(bytes[k]), lo = HexDigit(bytes[k + 1]);
      if (hi < 0 || lo < 0) return false;
      v.data += char(hi * 16 + lo);
      k += 2;
      if (k < bytes.size()) {
        if (bytes[k] != ',' || k + 1 == bytes.size()) return false;
        ++k;
      }
    }
    return true;
  }
  return false;
}

}  // namespace

std::string SerializeRegistry(const RegistryDocument& doc) {
  std::string out(kHeader);
  out += '\n';
  for (const auto& [folded, key] : doc.keys) {
    out += '[';
    AppendUtf8(out, key.path);  // key paths are the program's own, never unpaired surrogates
    out += "]\n";
    for (const auto& [fname, entry] : key.values) {
      const auto& [name, v] = entry;
      AppendQuoted(out, name);
      out += '=';
      if (v.type == kRegDword && v.data.size() == 4) {
        uint32_t x = uint32_t(uint8_t(v.data[0])) | uint32_t(uint8_t(v.data[1])) << 8 |
                     uint32_t(uint8_t(v.data[2])) << 16 | uint32_t(uint8_t(v.data[3])) << 24;
        out += "dword:";
        for (int shift = 28; shift >= 0; shift -= 4) out += kHex[(x >> shift) & 0xF];
      } else if (IsPlainString(v)) {
        out += v.type == kRegSz ? "sz:" : "expand_sz:";
        AppendQuoted(out, DataAsText(v.data));
      } else {
        out += "hex(" + std::to_string(v.type) + "):";
        for (size_t i = 0; i < v.data.size(); ++i) {
          if (i) out += ',';
          out += kHex[uint8_t(v.data[i]) >> 4];
          out += kHex[uint8_t(v.data[i]) & 0xF];
        }
      }
      out += '\n';
    }
  }
  out += "end\n";
  return out;
}

bool ParseRegistry(std::string_view text, RegistryDocument& doc) {
  doc.keys.clear();
  size_t pos = 0;
  bool header = false, ended = false;
  RegistryKeyValues* key = nullptr;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string_view::npos) return false;  // every line is complete
    std::string_view line = text.substr(pos, nl - pos);
    pos = nl + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (ended) return false;  // nothing may follow the end line
    if (!header) {
      if (line != kHeader) return false;
      header = true;
      continue;
    }
    if (line.empty() || line.front() == ';') continue;
    if (line == "end") {
      ended = true;
      continue;
    }
    if (line.front() == '[') {
      if (line.back() != ']') return false;
      std::u16string path;
      if (!ParseUtf8(line.substr(1, line.size() - 2), path) || !ValidKeyPath(path)) return false;
      // Only the keys the file names (ours names every parent): making the
      // parents of one deep path here would cost the square of its length.
      RegistryKeyValues& named = doc.keys[FoldName(path)];
      if (named.path.empty()) named.path = std::move(path);
      key = &named;
      continue;
    }
    if (line.front() != '"' || !key) return false;
    size_t i = 0;
    std::u16string name;
    if (!ParseQuoted(line, i, name) || i >= line.size() || line[i] != '=') return false;
    RegistryValue v;
    if (!ParseValue(line.substr(i + 1), v)) return false;
    if (key->values.count(FoldName(name))) return false;
    SetValue(*key, name, v.type, v.data.data(), uint32_t(v.data.size()));
  }
  return ended;
}

}  // namespace detail

namespace {

// The in-memory store, when switched on.
struct MemoryStore {
  std::mutex mutex;
  bool on = false;
  detail::RegistryDocument doc;
};

MemoryStore& Memory() {
  static MemoryStore store;
  return store;
}

}  // namespace

void UseMemoryRegistry(bool on) {
  MemoryStore& m = Memory();
  std::lock_guard lock(m.mutex);
  m.on = on;
  m.doc.keys.clear();
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
    MemoryStore& m = Memory();
    {
      std::lock_guard lock(m.mutex);
      memory = m.on;
      if (memory) {
        RegistryKeyValues* k = detail::FindKey(m.doc, path, forWrite);
        if (!k) return kErrorFileNotFound;
        values = std::make_shared<RegistryKeyValues>(*k);
      }
    }
    if (!memory) {
      uint32_t err = detail::SystemOpen(path, forWrite, handle, values);
      if (err) return err;
    }
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
  try {
    MemoryStore& m = Memory();
    std::lock_guard lock(m.mutex);
    RegistryKeyValues* k = detail::FindKey(m.doc, path, false);
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
    MemoryStore& m = Memory();
    {
      std::lock_guard lock(m.mutex);
      if (m.on) {
        detail::DeleteTree(m.doc, path);
        return kErrorSuccess;
      }
    }
    return detail::SystemDeleteTree(path);
  } catch (const std::bad_alloc&) {
    return kErrorInvalidData;
  }
}

}  // namespace zw::platform
