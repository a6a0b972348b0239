#include "settings/settings.h"

#include "base/ascii.h"
#include "platform/debug_output.h"
#include "platform/registry.h"

namespace zw {

using platform::RegistryKey;

namespace {

// A setting that cannot be stored still holds for this session; the failure
// goes to the debugger rather than interrupting the user over a preference.
bool Saved(std::u16string_view name, uint32_t error) {
  if (error == platform::kErrorSuccess) return true;
  std::u16string digits;
  do {
    digits.insert(digits.begin(), char16_t(u'0' + error % 10));
    error /= 10;
  } while (error != 0);
  platform::OutputDebugLine(u"Settings: could not save " + std::u16string(name) + u" (error=" +
                            digits + u")\n");
  return false;
}

}  // namespace

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
  uint32_t error = key.OpenForWrite(kSettingsKeyPath);
  if (error == platform::kErrorSuccess) error = key.SetDword(name, value);
  return Saved(name, error);
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
  uint32_t error = key.OpenForWrite(kSettingsKeyPath);
  if (error == platform::kErrorSuccess) error = key.SetString(kSelectedDrives, text);
  return Saved(kSelectedDrives, error);
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
  // Not saved: the next start counts as a first run again, which only adds
  // fixed drives to the choice. WriteDword has told the debugger.
  static_cast<void>(WriteDword(kFirstRunComplete, 1));
  return drives;
}

}  // namespace zw
