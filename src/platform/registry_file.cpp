#include "platform/registry_file.h"

#include "base/utf.h"

namespace zw::platform::detail {

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

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes one UTF-8 sequence at s[i]; false when malformed: a damaged file
// is refused, not repaired.
bool NextCodePoint(std::string_view s, size_t& i, char32_t& cp) {
  const Utf8Step step = DecodeUtf8At(s, i);
  if (!step.ok) return false;
  cp = step.codePoint;
  i += step.length;
  return true;
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

}  // namespace zw::platform::detail
