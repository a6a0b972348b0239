// The type and drive limits applied to results after the name search. Pure
// logic: the window supplies what its combo box and drive check boxes show.
#pragma once

#include <cstdint>
#include <optional>
#include <set>

#include "index/entry_guard.h"
#include "index/entry_store.h"

namespace zw {

enum class TypeCategory : int {
  NoSelection = -1,
  All = 0,
  Folders = 1,
  Files = 2,
  Documents = 3,
  Images = 4,
  Videos = 5,
  Music = 6,
  Programs = 7,
  Archives = 8,
};

inline constexpr int kTypeCategoryCount = 9;

struct TypeFilterState {
  bool hasTypeCombo = true;
  TypeCategory category = TypeCategory::All;
  bool hasDriveChecks = false;       // at least one drive check box exists
  std::set<char16_t> checkedDrives;  // letters whose box is ticked
};

// A null entry and a deleted entry (empty name) fail.
bool TypeFilter(const FileEntry* entry, const TypeFilterState& state);
bool TypeFilter(std::optional<EntryRef> entry, const TypeFilterState& state);

// By entry number: fails past the end. Works during a run, on the drives
// already appended.
bool TypeFilter(const EntryAccess& hold, uint32_t entryNumber, const TypeFilterState& state);

}  // namespace zw
