#include "search/name_index.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "search/string_order.h"

namespace zw {

namespace {

template <class T>
void Release(std::vector<T>& v) {
  std::vector<T>().swap(v);
}

void BuildExtensionLists(NameIndex& index) {
  const auto& entries = *index.entries;
  const uint32_t n = static_cast<uint32_t>(entries.size());
  constexpr uint32_t kNone = 0xFFFFFFFFu;
  std::vector<uint32_t> idOf(n, kNone);
  std::vector<uint32_t> counts;
  for (uint32_t i = 0; i < n; ++i) {
    const std::u16string& x = entries[i].lowerExtension;
    if (x.empty()) continue;
    auto [it, added] = index.extensionIds.try_emplace(x, static_cast<uint32_t>(counts.size()));
    if (added) counts.push_back(0);
    idOf[i] = it->second;
    ++counts[it->second];
  }
  index.extensionStart.assign(counts.size() + 1, 0);
  for (size_t id = 0; id < counts.size(); ++id) {
    index.extensionStart[id + 1] = index.extensionStart[id] + counts[id];
  }
  index.extensionEntries.resize(index.extensionStart.back());
  std::vector<uint32_t> fill(index.extensionStart.begin(), index.extensionStart.end() - 1);
  for (uint32_t i = 0; i < n; ++i) {
    if (idOf[i] != kNone) index.extensionEntries[fill[idOf[i]]++] = i;
  }
}

// One n-gram table of order 1, 2 or 3 over the folded names. Unigrams are
// distinct per name by the table's own rule (repeats within an entry drop).
bool BuildNgramTable(PostingTable& table, const std::vector<FileEntry>& entries, int order) {
  const uint32_t n = static_cast<uint32_t>(entries.size());
  if (order == 1) {
    return BuildPostingTable(table, n, [&](uint32_t i, auto&& sink) {
      for (char16_t c : entries[i].lowerName) sink(c);
    });
  }
  if (order == 2) {
    return BuildPostingTable(table, n, [&](uint32_t i, auto&& sink) {
      const std::u16string& f = entries[i].lowerName;
      for (size_t j = 1; j < f.size(); ++j) sink(uint64_t{f[j - 1]} << 16 | f[j]);
    });
  }
  return BuildPostingTable(table, n, [&](uint32_t i, auto&& sink) {
    const std::u16string& f = entries[i].lowerName;
    for (size_t j = 2; j < f.size(); ++j) {
      sink(uint64_t{f[j - 2]} << 32 | uint64_t{f[j - 1]} << 16 | f[j]);
    }
  });
}

void DropRanks(NameIndex& index) {
  std::lock_guard hold(index.ranks.mutex);
  Release(index.ranks.name);
  Release(index.ranks.path);
  index.ranks.nameCount = 0;
  index.ranks.pathCount = 0;
}

bool StartsWith(std::u16string_view s, std::u16string_view p) {
  return s.size() >= p.size() && s.compare(0, p.size(), p) == 0;
}

uint32_t EntryCount(const NameIndex& index) {
  return index.entries ? static_cast<uint32_t>(index.entries->size()) : 0;
}

// Appends every entry in [first, last) whose name contains `p`. Caller holds
// `lock` shared.
void ScanNames(const NameIndex& index, std::u16string_view p, uint32_t first, uint32_t last,
               std::vector<uint32_t>& result) {
  const auto& entries = *index.entries;
  for (uint32_t i = first; i < last; ++i) {
    if (FindSubstring(entries[i].lowerName, p) != kNotFound) result.push_back(i);
  }
}

// Entries scanned per hold of the lock by the linear scan: a writer waits for
// one piece, not for a scan of a million names.
constexpr uint32_t kLinearScanPiece = 16384;

// ScanNames over every entry, a piece at a time, each under the lock shared.
// Entries appended meanwhile are scanned too; the scan ends if the entries
// are detached.
std::vector<uint32_t> ContainsScan(const NameIndex& index, std::u16string_view p) {
  std::vector<uint32_t> result;
  for (uint32_t i = 0;;) {
    std::shared_lock hold(index.lock);
    if (!index.entries) return result;
    const uint32_t end = std::min(EntryCount(index), i + kLinearScanPiece);
    if (i >= end) return result;
    ScanNames(index, p, i, end, result);
    i = end;
  }
}

// Walks the name order from the first name not less than `p` and stops at the
// first name that does not begin with it.
template <class Take>
void PrefixWalk(const NameIndex& index, std::u16string_view p, Take&& take) {
  const auto& entries = *index.entries;
  const uint32_t n = EntryCount(index);
  auto it = std::lower_bound(index.nameOrder.begin(), index.nameOrder.end(), p,
                             [&](uint32_t e, std::u16string_view v) {
                               return e < n && std::u16string_view(entries[e].lowerName) < v;
                             });
  for (; it != index.nameOrder.end(); ++it) {
    if (*it >= n || !StartsWith(entries[*it].lowerName, p)) break;
    take(*it);
  }
}

std::vector<uint32_t> ExtensionLookupLocked(const NameIndex& index, std::u16string_view x) {
  if (!index.entries || x.empty()) return {};
  auto it = index.extensionIds.find(std::u16string(x));
  if (it == index.extensionIds.end()) return {};
  const uint32_t id = it->second;
  return std::vector<uint32_t>(index.extensionEntries.begin() + index.extensionStart[id],
                               index.extensionEntries.begin() + index.extensionStart[id + 1]);
}

void KeepWithExtension(const NameIndex& index, std::vector<uint32_t>& result,
                       std::u16string_view x) {
  std::vector<uint32_t> withExt = ExtensionLookup(index, x);  // ascending already
  std::erase_if(result,
                [&](uint32_t e) { return !std::binary_search(withExt.begin(), withExt.end(), e); });
}

}  // namespace

void ClearNameIndex(NameIndex& index) {
  index.entries = nullptr;
  Release(index.nameOrder);
  std::unordered_map<std::u16string, uint32_t>().swap(index.extensionIds);
  Release(index.extensionStart);
  Release(index.extensionEntries);
  index.unigramLists.Release();
  index.bigramLists.Release();
  index.trigramLists.Release();
  DropRanks(index);
  index.ngramEnabled = false;
}

void RebuildNameIndex(NameIndex& index) {
  if (index.entries == nullptr || index.entries->empty()) return;
  // Drop the old arrays first so that old and new never sit in memory together.
  const std::vector<FileEntry>* entries = index.entries;
  const bool ngrams = index.ngramEnabled;
  ClearNameIndex(index);
  index.entries = entries;
  index.ngramEnabled = ngrams;

  // Two halves of roughly equal work, side by side on a small machine: the
  // name order and the bigrams on a helper thread, the rest here.
  bool bigramsOk = true;
  auto helperWork = [&]() {
    index.nameOrder = OrderBy(*entries, &FileEntry::lowerName);
    if (ngrams) bigramsOk = BuildNgramTable(index.bigramLists, *entries, 2);
  };
  std::exception_ptr helperFailure;
  std::thread helper;
  try {
    helper = std::thread([&]() noexcept {
      try {
        helperWork();
      } catch (...) {
        helperFailure = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    helperWork();  // no second thread to be had
  }
  std::exception_ptr failure;
  bool ngramsOk = true;
  try {
    BuildExtensionLists(index);
    if (ngrams) {
      ngramsOk = BuildNgramTable(index.unigramLists, *entries, 1) &&
                 BuildNgramTable(index.trigramLists, *entries, 3);
    }
  } catch (...) {
    failure = std::current_exception();
  }
  if (helper.joinable()) helper.join();
  if (helperFailure || failure) {
    ClearNameIndex(index);
    index.entries = entries;
    std::rethrow_exception(failure ? failure : helperFailure);
  }
  if (ngrams && !(ngramsOk && bigramsOk)) {
    // Too large for 32-bit offsets: answer by linear scans instead.
    index.unigramLists.Release();
    index.bigramLists.Release();
    index.trigramLists.Release();
    index.ngramEnabled = false;
  }
}

void NoteEntriesChanged(NameIndex& index) {
  DropRanks(index);
}

const std::vector<uint32_t>& EntryRanks(const NameIndex& index, uint32_t column) {
  NameIndex::RankCache& cache = index.ranks;
  std::lock_guard hold(cache.mutex);
  const bool byName = column == 0;
  std::vector<uint32_t>& rank = byName ? cache.name : cache.path;
  size_t& count = byName ? cache.nameCount : cache.pathCount;
  const size_t n = index.entries ? index.entries->size() : 0;
  if (count != n) {
    rank = index.entries
               ? RanksOf(OrderBy(*index.entries, byName ? &FileEntry::name : &FileEntry::path))
               : std::vector<uint32_t>();
    count = n;
  }
  return rank;
}

std::vector<uint32_t> PrefixLookup(const NameIndex& index, std::u16string_view p) {
  std::shared_lock hold(index.lock);
  std::vector<uint32_t> result;
  if (!index.entries || p.empty()) return result;
  PrefixWalk(index, p, [&](uint32_t e) { result.push_back(e); });
  return result;
}

std::vector<uint32_t> PrefixExtensionLookup(const NameIndex& index, std::u16string_view p,
                                            std::u16string_view x) {
  std::shared_lock hold(index.lock);
  std::vector<uint32_t> result;
  if (!index.entries || p.empty()) return result;
  const auto& entries = *index.entries;
  PrefixWalk(index, p, [&](uint32_t e) {
    const std::u16string& ext = entries[e].lowerExtension;
    if (!ext.empty() && ext == x) result.push_back(e);
  });
  return result;
}

std::vector<uint32_t> ExtensionLookup(const NameIndex& index, std::u16string_view x) {
  std::shared_lock hold(index.lock);
  return ExtensionLookupLocked(index, x);
}

std::vector<uint32_t> ContainsLookup(const NameIndex& index, std::u16string_view p) {
  std::vector<uint32_t> result;
  if (!index.entries || p.empty()) return result;
  const auto& entries = *index.entries;
  const uint32_t n = EntryCount(index);
  if (!index.ngramEnabled) {
    ScanNames(index, p, 0, n, result);
    return result;
  }
  // Lists hold numbers from the last rebuild; the array only grows between
  // rebuilds, but a number past its end is never read.
  auto confirmed = [&](std::vector<uint32_t>& candidates) {
    std::erase_if(candidates, [&](uint32_t e) {
      return e >= n || FindSubstring(entries[e].lowerName, p) == kNotFound;
    });
  };
  if (p.size() == 1) {
    DecodeList(index.unigramLists.Find(p[0]), result);
    std::erase_if(result, [&](uint32_t e) { return e >= n; });
    return result;
  }
  if (p.size() == 2) {
    DecodeList(index.bigramLists.Find(uint64_t{p[0]} << 16 | p[1]), result);
    confirmed(result);
    return result;
  }
  std::vector<PostingTable::List> lists;
  lists.reserve(p.size() - 2);
  for (size_t j = 2; j < p.size(); ++j) {
    PostingTable::List list =
        index.trigramLists.Find(uint64_t{p[j - 2]} << 32 | uint64_t{p[j - 1]} << 16 | p[j]);
    if (list.count == 0) return result;  // a run that no name has: nothing to scan
    lists.push_back(list);
  }
  std::sort(
      lists.begin(), lists.end(),
      [](const PostingTable::List& a, const PostingTable::List& b) { return a.count < b.count; });
  DecodeList(lists[0], result);
  for (size_t k = 1; k < lists.size() && !result.empty(); ++k) IntersectWith(result, lists[k]);
  confirmed(result);
  return result;
}

std::vector<uint32_t> RunQuery(const NameIndex& index, const SearchQuery& query) {
  const std::u16string& p = query.foldedPattern;
  const std::u16string& x = query.foldedExtension;
  if (MatchesNothing(query)) return {};
  switch (query.mode) {
    case MatchMode::Prefix:
      return PrefixLookup(index, p);
    case MatchMode::PrefixExtension:
      return PrefixExtensionLookup(index, p, x);
    case MatchMode::Extension:
      return ExtensionLookup(index, x);
    case MatchMode::Suffix: {
      std::vector<uint32_t> result;
      {
        std::shared_lock hold(index.lock);
        if (!index.entries) return result;
        const auto& entries = *index.entries;
        const uint32_t n = EntryCount(index);
        const std::u16string tail = SuffixWithExtension(query);
        for (uint32_t e : index.nameOrder) {
          if (e >= n) continue;
          const std::u16string& name = entries[e].lowerName;
          if (name.size() >= tail.size() &&
              name.compare(name.size() - tail.size(), tail.size(), tail) == 0) {
            result.push_back(e);
          }
        }
      }
      if (!x.empty()) KeepWithExtension(index, result, x);
      return result;
    }
    case MatchMode::Contains: {
      std::vector<uint32_t> result;
      bool linear = false;
      {
        std::shared_lock hold(index.lock);
        linear = !index.ngramEnabled && !p.empty();
        if (!linear) result = ContainsLookup(index, p);
      }
      if (linear) result = ContainsScan(index, p);
      if (!x.empty()) KeepWithExtension(index, result, x);
      return result;
    }
  }
  return {};
}

size_t NameIndexBytes(const NameIndex& index) {
  size_t bytes = sizeof(NameIndex);
  bytes += index.nameOrder.capacity() * sizeof(uint32_t);
  bytes += index.extensionStart.capacity() * sizeof(uint32_t);
  bytes += index.extensionEntries.capacity() * sizeof(uint32_t);
  bytes += index.ranks.name.capacity() * sizeof(uint32_t);
  bytes += index.ranks.path.capacity() * sizeof(uint32_t);
  // A hash node: key string (with its own buffer when long), id, next pointer.
  bytes += index.extensionIds.bucket_count() * sizeof(void*);
  for (const auto& [key, id] : index.extensionIds) {
    bytes += sizeof(std::u16string) + sizeof(uint32_t) + 2 * sizeof(void*);
    if (key.size() > 7) bytes += (key.capacity() + 1) * sizeof(char16_t);
  }
  bytes += index.unigramLists.Bytes() + index.bigramLists.Bytes() + index.trigramLists.Bytes();
  return bytes;
}

}  // namespace zw
