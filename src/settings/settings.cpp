#include "settings/settings.h"

#include "base/ascii.h"
#include "platform/registry.h"

namespace zw {

using platform::RegistryKey;

uint32_t ReadDword(std::u16string_view name, uint32_t defaultValue) {
  RegistryKey key;
  if (key.OpenForRead(kSettingsKeyPath) != platform::kErrorSuccess) return defaultValue;
  uint32_t value = defaultValue;
  // A value of another type is not a setting we wrote: the default stands.
  if (key.QueryDword(name, value) != platform::kErrorSuccess) return defaultValue;
  return value;
}

bool WriteDword(std::u16string_view name, uint32_t value) {
  RegistryKey key;
  if (key.OpenForWrite(kSettingsKeyPath) != platform::kErrorSuccess) return false;
  return key.SetDword(name, value) == platform::kErrorSuccess;
}

bool ReadFlag(std::u16string_view name, uint32_t defaultValue) {
  return ReadDword(name, defaultValue) != 0;
}

uint32_t ReadSortColumn() {
  uint32_t column = ReadDword(kSortColumn, kDefaultSortColumn);
  return column >= kColumnCount ? kColumnName : column;
}

std::set<char16_t> LoadSelectedDrives() {
  std::set<char16_t> drives;
  RegistryKey key;
  if (key.OpenForRead(kSettingsKeyPath) != platform::kErrorSuccess) return drives;
  char16_t buffer[512] = {};
  uint32_t type = 0;
  uint32_t size = sizeof buffer;
  if (key.Query(kSelectedDrives, &type, buffer, &size) != platform::kErrorSuccess) return drives;
  if (type != platform::kRegSz && type != platform::kRegExpandSz) return drives;
  if (size != 0 && (size % 2 != 0 || buffer[size / 2 - 1] != 0)) return drives;
  for (char16_t c : buffer) {
    if (c == 0) break;
    c = UpperAscii(c);
    if (c >= u'A' && c <= u'Z') drives.insert(c);
  }
  return drives;
}

bool SaveSelectedDrives(const std::set<char16_t>& drives) {
  std::u16string text;
  for (char16_t letter : drives) {
    if (letter < u'A' || letter > u'Z') continue;
    if (!text.empty()) text += u',';
    text += letter;
  }
  RegistryKey key;
  if (key.OpenForWrite(kSettingsKeyPath) != platform::kErrorSuccess) return false;
  return key.SetString(kSelectedDrives, text) == platform::kErrorSuccess;
}

std::set<char16_t> InitialDriveSet(std::set<char16_t> (*fixedNtfsDrives)()) {
  std::set<char16_t> drives = LoadSelectedDrives();
  if (!drives.empty()) {
    RegistryKey key;
    uint32_t done = 0;
    if (key.OpenForRead(kSettingsKeyPath) == platform::kErrorSuccess &&
        key.QueryDword(kFirstRunComplete, done) == platform::kErrorSuccess && done != 0)
      return drives;
  }
  drives.merge(fixedNtfsDrives());
  WriteDword(kFirstRunComplete, 1);
  return drives;
}

}  // namespace zw
