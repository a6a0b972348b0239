// Small in-memory indexes for the search tests.
#pragma once

#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

#include "engine/file_index.h"
#include "index/build_paths.h"
#include "search/name_index.h"
#include "support/built_paths.h"
#include "support/entry_builder.h"
#include "support/entry_views.h"

namespace zw::test {

struct Item {
  std::u16string name;
  bool folder = false;
  char16_t drive = u'D';
  uint64_t size = 0;
  uint64_t modified = 0;
};

inline FileEntry MakeEntry(const Item& item, uint32_t id) {
  FileEntry e;
  e.id = id;
  e.drive = item.drive;
  e.name = item.name;
  e.isFolder = item.folder;
  e.size = item.size;
  e.modificationTime = item.modified;
  e.path = std::u16string(1, item.drive) + u":\\dir\\" + item.name;
  SetDerivedNameFields(e);
  return e;
}

// Appends under the two locks, as the indexing run does, then rebuilds.
inline void Fill(FileIndex& index, const std::vector<Item>& items, bool ngrams) {
  {
    const EntryWriteView view(index.entries);
    EntryStore& store = view.store();
    for (const Item& item : items) {
      test::AppendEntry(store, MakeEntry(item, static_cast<uint32_t>(store.size())));
    }
  }
  RebuildNameIndex(index, ngrams);
}

inline std::vector<Item> Files(std::initializer_list<const char16_t*> names) {
  std::vector<Item> items;
  for (const char16_t* n : names) items.push_back({n});
  return items;
}

inline std::vector<std::u16string> NamesOf(const FileIndex& index,
                                           const std::vector<uint32_t>& numbers) {
  std::vector<std::u16string> out;
  const EntryReadView hold(index.entries);
  for (uint32_t n : numbers) out.push_back(hold.entries().at(n).Value().name);
  return out;
}

// Deterministic names over a small alphabet, so that n-grams repeat a lot.
inline std::vector<Item> RandomItems(uint32_t count, uint64_t seed) {
  static const char16_t kAlphabet[] = u"abcAB._ -가나";
  const size_t alphabet = sizeof(kAlphabet) / sizeof(char16_t) - 1;
  std::vector<Item> items;
  uint64_t s = seed;
  auto next = [&]() {
    s = s * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(s >> 33);
  };
  for (uint32_t i = 0; i < count; ++i) {
    Item item;
    const uint32_t length = next() % 9;  // empty names too: deleted entries
    for (uint32_t k = 0; k < length; ++k) item.name.push_back(kAlphabet[next() % alphabet]);
    item.folder = next() % 5 == 0;
    item.size = next() % 4;
    item.modified = next() % 4;
    items.push_back(std::move(item));
  }
  return items;
}

}  // namespace zw::test
