// Building the name index's tables over the entries, and what they hold.
#include <algorithm>
#include <array>
#include <atomic>
#include <exception>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "search/name_index.h"
#include "search/name_index_detail.h"
#include "search/string_order.h"

namespace zw {

using namespace name_index_detail;

namespace {

void BuildExtensionLists(NameTables& tables, const EntryStore& entries) {
  const uint32_t n = static_cast<uint32_t>(entries.size());
  constexpr uint32_t kNone = UINT32_MAX;  // no extension
  std::vector<uint32_t> idOf(n, kNone);
  std::u16string key;
  for (uint32_t i = 0; i < n; ++i) {
    const NameText x = FoldedExtension(entries[i]);
    // A deleted entry keeps its extension, but no search may find it.
    if (x.empty() || IsDeleted(entries[i])) continue;
    const uint32_t next = static_cast<uint32_t>(tables.extensionIds.size());
    x.AssignTo(key);
    idOf[i] = tables.extensionIds.try_emplace(key, next).first->second;
  }
  const bool built = BuildPostingTable(tables.extensionLists, n, [&](uint32_t i, auto&& sink) {
    if (idOf[i] != kNone) sink(idOf[i]);
  });
  // At most one posting an entry: only an entry count far beyond any memory
  // gets here. Without these lists no extension search could be answered.
  if (!built) throw std::length_error("extension lists beyond 32-bit offsets");
}

// Every unit a folded name holds most often (printable ASCII but the
// capitals and what Windows forbids in a name) in 6 bits, so that trigrams
// of them index a small array instead of a hash table.
constexpr std::array<uint8_t, 128> kUnitSlots = [] {
  std::array<uint8_t, 128> slots{};
  uint8_t next = 0;
  for (int c = 0; c < 128; ++c) {
    const bool common =
        c >= 0x20 && c < 0x7F && !(c >= 'A' && c <= 'Z') &&
        std::u16string_view(u"\\/:*?\"<>|").find(char16_t(c)) == std::u16string_view::npos;
    slots[c] = common ? next++ : 0xFF;
  }
  return slots;
}();

inline size_t UnitSlot(uint64_t unit) {
  return unit < 128 ? kUnitSlots[unit] : 0xFF;
}

// A final pair takes the one slot no unit has (63) in place of a third unit.
struct TrigramSlots {
  static constexpr size_t kSize = size_t{1} << 18;
  // Of three unit slots; kSize when any is 0xFF.
  static size_t Of(size_t a, size_t b, size_t c) {
    return (a | b | c) > 63 ? kSize : (a << 12 | b << 6 | c);
  }
  static size_t SlotOf(uint64_t key) {
    const auto unit = [key](int k) { return UnitSlot(key >> (16 * k) & 0xFFFF); };
    return Of(unit(2), unit(1), (key & kFinalPair) != 0 ? 63 : unit(0));
  }
};
static_assert(kUnitSlots['~'] < 63);

// Unigrams are any unit: a plain array of all of them.
struct UnitSlots {
  static constexpr size_t kSize = size_t{1} << 16;
  static size_t SlotOf(uint64_t key) { return static_cast<size_t>(key); }
};

}  // namespace

// Unigrams are distinct per name by the table's own rule (repeats within an
// entry drop).
bool BuildNgramTable(PostingTable& table, const EntryStore& entries, int order) {
  const uint32_t n = static_cast<uint32_t>(entries.size());
  // Keys straight from the stored form, folded as read: no copy of a name.
  if (order == 1) {
    return BuildPostingTable<UnitSlots>(table, n, [&](uint32_t i, auto&& sink) {
      FoldedName(entries[i]).Visit([&](const auto& f) {
        for (size_t j = 0; j < f.size(); ++j) sink(f[j]);
      });
    });
  }
  // Each unit folded and given its slot once, not once for each of the three
  // trigrams that hold it.
  return BuildPostingTable<TrigramSlots>(table, n, [&](uint32_t i, auto&& sink) {
    FoldedName(entries[i]).Visit([&](const auto& f) {
      if (f.size() < 2) return;
      char16_t a = f[0], b = f[1];
      size_t slotA = UnitSlot(a), slotB = UnitSlot(b);
      for (size_t j = 2; j < f.size(); ++j) {
        const char16_t c = f[j];
        const size_t slotC = UnitSlot(c);
        sink(TrigramKey(a, b, c), TrigramSlots::Of(slotA, slotB, slotC));
        a = b;
        b = c;
        slotA = slotB;
        slotB = slotC;
      }
      sink(FinalPairKey(a, b), TrigramSlots::Of(slotA, slotB, 63));
    });
  });
}

namespace {

// Positions in the name order, ascending by name read backwards. Sorted by
// entry number, with the position as the tie, so that the names are read in
// the order they are stored, not through the name order.
std::vector<uint32_t> SuffixOrder(const EntryStore& entries,
                                  const std::vector<uint32_t>& nameOrder) {
  const std::vector<uint32_t> position = RanksOf(nameOrder);
  std::vector<uint32_t> order = OrderByText<true>(
      entries.size(), [&](uint32_t e) { return FoldedName(entries[e]); },
      [&](uint32_t a, uint32_t b) { return position[a] < position[b]; });
  for (uint32_t& e : order) e = position[e];
  return order;
}

}  // namespace

NameTables BuildNameTables(const WriterAccess& writer, bool ngrams) {
  return BuildNameTables(writer.entries(), ngrams);
}

NameTables BuildNameTables(const EntryStore& entries, bool ngrams) {
  NameTables tables;
  tables.builtCount = static_cast<uint32_t>(entries.size());
  tables.ngramEnabled = ngrams;
  tables.deltaLimit = std::max<size_t>(kMinDeltaLimit, entries.size() / 16);
  if (entries.empty()) return tables;

  // The pieces, longest first, in the order two threads take them: each
  // takes the next as soon as it is free, so that neither idles while the
  // other has two left. A piece that needs another is one piece with it, so
  // no thread ever waits for the other.
  enum Piece { kRanks, kOrders, kTrigrams, kUnigrams, kExtensions, kHangul, kPieces };
  bool unigramsOk = true;
  bool ngramsOk = true;
  const auto build = [&](int piece) {
    switch (piece) {
      case kRanks:
        tables.pathRanks = PackedUints(PathRanks(entries));
        tables.nameRanks = PackedUints(NameRanks(entries, tables.pathRanks));
        break;
      case kOrders: {
        const std::vector<uint32_t> nameOrder =
            OrderByText(entries.size(), [&](uint32_t i) { return FoldedName(entries[i]); });
        tables.suffixOrder = PackedUints(SuffixOrder(entries, nameOrder));
        tables.nameOrder = PackedUints(nameOrder);
        break;
      }
      case kTrigrams:
        if (ngrams) ngramsOk = BuildNgramTable(tables.trigramLists, entries, 3);
        break;
      case kUnigrams:
        if (ngrams) unigramsOk = BuildNgramTable(tables.unigramLists, entries, 1);
        break;
      case kExtensions:
        BuildExtensionLists(tables, entries);
        break;
      default:
        BuildHangulTables(tables, entries);
    }
  };
  std::atomic<int> next{0};
  std::atomic<bool> failed{false};
  std::array<std::exception_ptr, 2> failures;
  const auto work = [&](size_t self) noexcept {
    try {
      for (int piece = next++; piece < kPieces && !failed; piece = next++) build(piece);
    } catch (...) {
      failures[self] = std::current_exception();
      failed = true;
    }
  };
  {
    std::jthread helper;  // joined at the end of this block, however it ends
    try {
      helper = std::jthread(work, 1);
    } catch (const std::system_error&) {
      // No second thread to be had: this one takes every piece, in order.
    }
    work(0);
  }
  for (const std::exception_ptr& f : failures) {
    if (f) std::rethrow_exception(f);
  }
  if (ngrams && !(ngramsOk && unigramsOk)) {
    // Too large for 32-bit offsets: answer by linear scans instead.
    tables.unigramLists.Release();
    tables.trigramLists.Release();
    tables.ngramEnabled = false;
  }
  return tables;
}

size_t NameIndexBytes(const NameIndex& index, const EntryAccess& hold) {
  const NameTables& t = index.Tables(hold);
  size_t bytes = sizeof(NameIndex);
  bytes += t.nameOrder.Bytes();
  bytes += t.extensionLists.Bytes();
  bytes += t.suffixOrder.Bytes();
  bytes += index.Ranks(hold).Bytes();
  // A hash node: key string (with its own buffer when long), id, next pointer.
  bytes += t.extensionIds.bucket_count() * sizeof(void*);
  for (const auto& [key, id] : t.extensionIds) {
    bytes += sizeof(std::u16string) + sizeof(uint32_t) + 2 * sizeof(void*);
    if (key.size() > 7) bytes += (key.capacity() + 1) * sizeof(char16_t);
  }
  for (const auto& [entry, name] : t.builtNames) {
    bytes += sizeof(std::u16string) + sizeof(uint32_t) + 3 * sizeof(void*);
    if (name.size() > 7) bytes += (name.capacity() + 1) * sizeof(char16_t);
  }
  bytes += t.changedBits.capacity() * sizeof(uint64_t);
  bytes += t.unigramLists.Bytes() + t.trigramLists.Bytes();
  bytes += t.jamoBits.capacity() * sizeof(uint64_t) + t.initialsLists.Bytes();
  bytes += (t.jamoEntries.capacity() + t.jamoEnds.capacity()) * sizeof(uint32_t) +
           t.jamoNames.capacity() * sizeof(char16_t) + t.jamoTrigrams.Bytes();
  return bytes;
}

}  // namespace zw
