// The program's options and drive selection, stored as values of one key of
// the current user's registry. Nothing is cached: each call opens the key,
// does its one read or write and closes it again.
#pragma once

#include <cstdint>
#include <set>
#include <string_view>

#include "base/columns.h"

namespace zw {

inline constexpr std::u16string_view kSettingsKeyPath = u"Software\\Zanderwyn";

// Value names and the defaults used when a value is absent or unreadable.
inline constexpr std::u16string_view kSelectedDrives = u"SelectedDrives";
inline constexpr std::u16string_view kFirstRunComplete = u"FirstRunComplete";
inline constexpr std::u16string_view kProgressiveSearch = u"ProgressiveSearch";
inline constexpr std::u16string_view kParallelSearch = u"ParallelSearch";
inline constexpr std::u16string_view kSortColumn = u"SortColumn";
inline constexpr std::u16string_view kSortDescending = u"SortDescending";
inline constexpr std::u16string_view kFoldersFirst = u"FoldersFirst";
inline constexpr std::u16string_view kFastSearch = u"FastSearch";
inline constexpr std::u16string_view kSearchDebounce = u"SearchDebounce";
inline constexpr std::u16string_view kFastIcons = u"FastIcons";
// Non-zero: a text of Hangul leading consonants (ㅂㄱㅅ) also finds the names
// whose syllables begin with them (보고서).
inline constexpr std::u16string_view kInitialConsonantSearch = u"InitialConsonantSearch";
// Non-zero: live update may create a change journal on a volume that has
// none. Off by default, since that writes to the volume.
inline constexpr std::u16string_view kCreateChangeJournal = u"CreateChangeJournal";

inline constexpr uint32_t kDefaultProgressiveSearch = 1;
inline constexpr uint32_t kDefaultParallelSearch = 0;
inline constexpr uint32_t kDefaultSortColumn = kColumnName;
inline constexpr uint32_t kDefaultSortDescending = 0;
inline constexpr uint32_t kDefaultFoldersFirst = 1;
inline constexpr uint32_t kDefaultFastSearch = 1;
inline constexpr uint32_t kDefaultSearchDebounce = 0;
inline constexpr uint32_t kDefaultFastIcons = 1;
inline constexpr uint32_t kDefaultInitialConsonantSearch = 1;
inline constexpr uint32_t kDefaultCreateChangeJournal = 0;

// The value when it is a REG_DWORD; `defaultValue` when the key or value is
// missing, unreadable or of another type.
uint32_t ReadDword(std::u16string_view name, uint32_t defaultValue);
[[nodiscard]] bool WriteDword(std::u16string_view name, uint32_t value);

// DWORD options read as flags: zero is false, anything else true.
bool ReadFlag(std::u16string_view name, uint32_t defaultValue);
// One of base/columns.h; a stored number past them reads as kColumnName.
uint32_t ReadSortColumn();

// Upper-case letters in ascending order. A stored text that is not a
// NUL-terminated REG_SZ / REG_EXPAND_SZ of at most 511 characters reads as
// an empty set; characters other than letters are skipped.
std::set<char16_t> LoadSelectedDrives();
// Writes "C,D,E" (REG_SZ). Letters outside A-Z are left out.
[[nodiscard]] bool SaveSelectedDrives(const std::set<char16_t>& drives);

// The drive set a new index starts with: the stored selection, extended on a
// first run (FirstRunComplete not a non-zero REG_DWORD) by every fixed NTFS
// drive, which only then is `fixedNtfsDrives` asked for (the drive code sits
// beside the settings, not below). FirstRunComplete is then set to 1.
// SelectedDrives is not written here.
std::set<char16_t> InitialDriveSet(std::set<char16_t> (*fixedNtfsDrives)());

}  // namespace zw
