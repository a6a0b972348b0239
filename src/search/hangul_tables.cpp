// The name index's Hangul tables: which names are stored decomposed, and the
// leading-consonant runs of the initials forms of the names holding Hangul.
#include <stdexcept>
#include <utility>

#include "base/hangul.h"
#include "search/name_index.h"
#include "search/name_index_detail.h"

namespace zw::name_index_detail {

namespace {

// Runs of one, two and three letters (by their index among the 19) keyed
// apart, so that one table holds them all.
constexpr uint64_t kPairBase = hangul::kLeadCount;
constexpr uint64_t kTripleBase = kPairBase + hangul::kLeadCount * hangul::kLeadCount;

uint64_t InitialsKey(const int* k, size_t n) {
  constexpr uint64_t c = hangul::kLeadCount;
  if (n == 1) return uint64_t(k[0]);
  if (n == 2) return kPairBase + uint64_t(k[0]) * c + uint64_t(k[1]);
  return kTripleBase + (uint64_t(k[0]) * c + uint64_t(k[1])) * c + uint64_t(k[2]);
}

// The composed name of `e` in `out`, and whether composing changed it. Only
// a wide name can hold Hangul, and only one holding jamo can compose, so
// every other name is passed over without a copy.
bool ComposedInto(EntryRef e, std::u16string& out) {
  out.clear();
  const NameText name = FoldedName(e);
  if (name.narrow() || IsDeleted(e)) return false;
  const bool jamo = name.Visit([](const auto& units) {
    for (size_t i = 0; i < units.size(); ++i) {
      if (hangul::IsJamo(units[i])) return true;
    }
    return false;
  });
  return jamo && hangul::AppendComposed(
                     name.size(), [&](size_t i) { return name[i]; }, out);
}

// Feeds `sink` every run of one to three leading consonants in the initials
// form of `units`, when it holds a syllable (else that form is the name).
template <class Units, class Sink>
void InitialsKeys(const Units& units, Sink&& sink) {
  bool syllable = false;
  for (size_t i = 0; i < units.size() && !syllable; ++i) syllable = hangul::IsSyllable(units[i]);
  if (!syllable) return;
  int run[3];
  size_t length = 0;
  for (size_t i = 0; i < units.size(); ++i) {
    const char16_t c = units[i];
    const int k =
        hangul::IsSyllable(c)
            ? int((c - hangul::kSyllableFirst) / (hangul::kVowelCount * hangul::kTailCount))
            : hangul::InitialIndex(c);
    if (k < 0) {
      length = 0;
      continue;
    }
    if (length == 3) {
      run[0] = run[1];
      run[1] = run[2];
      length = 2;
    }
    run[length++] = k;
    sink(InitialsKey(run + length - 1, 1));
    if (length >= 2) sink(InitialsKey(run + length - 2, 2));
    if (length == 3) sink(InitialsKey(run, 3));
  }
}

}  // namespace

void BuildHangulTables(NameTables& tables, const EntryStore& entries) {
  const auto n = static_cast<uint32_t>(entries.size());
  std::u16string form;
  for (uint32_t i = 0; i < n; ++i) {
    if (!ComposedInto(entries[i], form)) continue;
    if (tables.jamoBits.empty()) tables.jamoBits.resize((size_t{n} + 63) / 64);
    tables.jamoBits[i >> 6] |= uint64_t{1} << (i & 63);
    tables.jamoEntries.push_back(i);
    tables.jamoNames.insert(tables.jamoNames.end(), form.begin(), form.end());
    tables.jamoEnds.push_back(static_cast<uint32_t>(tables.jamoNames.size()));
  }
  const auto names = static_cast<uint32_t>(tables.jamoEntries.size());
  const bool trigrams = BuildPostingTable(tables.jamoTrigrams, names, [&](uint32_t k, auto&& sink) {
    const size_t from = k == 0 ? 0 : tables.jamoEnds[k - 1];
    const char16_t* f = tables.jamoNames.data();
    const size_t end = tables.jamoEnds[k];
    for (size_t j = from + 2; j < end; ++j) sink(TrigramKey(f[j - 2], f[j - 1], f[j]));
    if (end - from >= 2) sink(FinalPairKey(f[end - 2], f[end - 1]));
  });
  const bool built =
      trigrams && BuildPostingTable(tables.initialsLists, n, [&](uint32_t i, auto&& sink) {
        const NameText name = FoldedName(entries[i]);
        if (name.narrow() || IsDeleted(entries[i])) return;
        if (IsJamoName(tables, i)) {
          ComposedInto(entries[i], form);
          InitialsKeys(std::u16string_view(form), sink);
        } else {
          name.Visit([&](const auto& units) { InitialsKeys(units, sink); });
        }
      });
  // Fewer postings than the extension lists hold: past any memory first.
  if (!built) throw std::length_error("Hangul lists beyond 32-bit offsets");
}

std::vector<uint32_t> JamoCandidates(const NameTables& tables, std::u16string_view p) {
  std::vector<uint32_t> result;
  if (p.size() == 2) return UniteAll(PairLists(tables.jamoTrigrams, p[0], p[1]));
  if (p.size() < 3) {
    result.resize(tables.jamoEntries.size());
    for (uint32_t k = 0; k < result.size(); ++k) result[k] = k;
    return result;
  }
  std::vector<PostingTable::List> lists;
  for (size_t j = 2; j < p.size(); ++j) {
    lists.push_back(tables.jamoTrigrams.Find(TrigramKey(p[j - 2], p[j - 1], p[j])));
    if (lists.back().count == 0) return result;
  }
  return IntersectAll(std::move(lists));
}

std::vector<uint32_t> InitialsCandidates(const NameTables& tables, std::u16string_view letters) {
  std::vector<uint32_t> result;
  int k[3] = {};
  if (letters.size() < 3) {
    for (size_t j = 0; j < letters.size(); ++j) k[j] = hangul::InitialIndex(letters[j]);
    DecodeList(tables.initialsLists.Find(InitialsKey(k, letters.size())), result);
    return result;
  }
  std::vector<PostingTable::List> lists;
  for (size_t j = 2; j < letters.size(); ++j) {
    for (size_t d = 0; d < 3; ++d) k[d] = hangul::InitialIndex(letters[j - 2 + d]);
    lists.push_back(tables.initialsLists.Find(InitialsKey(k, 3)));
    if (lists.back().count == 0) return result;
  }
  return IntersectAll(std::move(lists));
}

}  // namespace zw::name_index_detail
