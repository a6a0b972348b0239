#include "search/query.h"

#include "base/hangul.h"

namespace zw {

SearchQuery ParseQuery(std::u16string_view text, bool initialConsonants) {
  SearchQuery q;
  q.rawText = std::u16string(text);
  if (text.empty()) return q;

  auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
  size_t first = 0;
  while (first < text.size() && blank(text[first])) ++first;
  if (first == text.size()) return q;
  size_t last = text.size() - 1;
  while (blank(text[last])) --last;
  std::u16string_view work = text.substr(first, last - first + 1);

  bool hasExtension = false;
  const size_t star = work.find(u'*');
  const size_t dot = work.rfind(u'.');
  if (star != std::u16string_view::npos && dot != std::u16string_view::npos && dot > 0) {
    std::u16string_view ext = work.substr(dot + 1);
    if (!ext.empty() && ext.find(u'*') == std::u16string_view::npos) {
      q.foldedExtension = hangul::Composed(FoldAscii(ext));
      work = work.substr(0, dot);
      hasExtension = true;
    }
  }

  const bool leading = !work.empty() && work.front() == u'*';
  const bool trailing = !work.empty() && work.back() == u'*';
  if (leading) work.remove_prefix(1);
  if (trailing && !work.empty()) work.remove_suffix(1);

  q.pattern = std::u16string(work);
  q.foldedPattern = hangul::Composed(FoldAscii(work));
  q.composed = hangul::HoldsHangul(q.foldedPattern) || hangul::HoldsHangul(q.foldedExtension);
  q.initials = initialConsonants && hangul::IsInitialsText(q.foldedPattern);

  if (!work.empty()) {
    if (leading) {
      q.mode = trailing ? MatchMode::Contains : MatchMode::Suffix;
    } else if (trailing) {
      q.mode = hasExtension ? MatchMode::PrefixExtension : MatchMode::Prefix;
    } else {
      q.mode = MatchMode::Contains;
    }
  } else {
    q.mode = hasExtension ? MatchMode::Extension : MatchMode::Contains;
  }
  return q;
}

std::u16string SuffixWithExtension(const SearchQuery& query) {
  if (query.foldedExtension.empty()) return query.foldedPattern;
  return query.foldedPattern + u'.' + query.foldedExtension;
}

size_t FindSubstring(std::u16string_view haystack, std::u16string_view needle) {
  if (needle.empty()) return 0;
  if (haystack.size() < needle.size()) return kNotFound;
  const char16_t head = needle[0];
  const size_t lastStart = haystack.size() - needle.size();
  const char16_t* h = haystack.data();
  const char16_t* n = needle.data();
  for (size_t i = 0; i <= lastStart; ++i) {
    if (h[i] != head) continue;
    size_t k = 1;
    while (k < needle.size() && h[i + k] == n[k]) ++k;
    if (k == needle.size()) return i;
  }
  return kNotFound;
}

namespace {

// An empty extension never satisfies an extension test.
bool ExtensionIs(NameText extension, const std::u16string& x) {
  return !extension.empty() && extension.EqualsFolded(x);
}

// Both texts are read folded.
bool MatchesFolding(NameText name, NameText extension, const SearchQuery& query) {
  const std::u16string& p = query.foldedPattern;
  const std::u16string& x = query.foldedExtension;
  if (MatchesNothing(query)) return false;
  switch (query.mode) {
    case MatchMode::Prefix:
      return name.StartsWithFolded(p);
    case MatchMode::Suffix:
      return x.empty()
                 ? name.EndsWithFolded(p)
                 : ExtensionIs(extension, x) && name.EndsWithFolded(SuffixWithExtension(query));
    case MatchMode::Contains:
      return name.FindFolded(p) != NameText::npos && (x.empty() || ExtensionIs(extension, x));
    case MatchMode::Extension:
      return ExtensionIs(extension, x);
    case MatchMode::PrefixExtension:
      return name.StartsWithFolded(p) && ExtensionIs(extension, x);
  }
  return false;
}

// Puts `name` with its jamo runs composed into `buffer` and views it there,
// when that changes it.
bool Compose(NameText& name, std::u16string& buffer) {
  if (name.narrow()) return false;
  size_t i = 0;
  while (i < name.size() && !hangul::IsJamo(name[i])) ++i;
  if (i == name.size()) return false;
  buffer.clear();
  const NameText from = name;
  if (!hangul::AppendComposed(
          from.size(), [&](size_t k) { return from[k]; }, buffer)) {
    return false;
  }
  name = std::u16string_view(buffer);
  return true;
}

// By the name's initials form, under the pattern's mode and extension rules.
// Only a name holding a syllable has one that differs from the name.
bool MatchesInitials(NameText name, NameText extension, const SearchQuery& query) {
  if (name.narrow()) return false;
  thread_local std::u16string form;  // no allocation a name once warm
  name.AssignTo(form);
  if (!hangul::HoldsHangul(form)) return false;
  hangul::ToInitials(form);
  const NameText f(form);
  const std::u16string& p = query.foldedPattern;
  const std::u16string& x = query.foldedExtension;
  switch (query.mode) {
    case MatchMode::Prefix:
      return f.StartsWithFolded(p);
    case MatchMode::Suffix:
      // The stem ends with the pattern: the extension is matched as it is.
      return x.empty() ? f.EndsWithFolded(p)
                       : ExtensionIs(extension, x) &&
                             f.substr(0, f.size() - extension.size() - 1).EndsWithFolded(p);
    case MatchMode::Contains:
      return f.FindFolded(p) != NameText::npos && (x.empty() || ExtensionIs(extension, x));
    case MatchMode::PrefixExtension:
      return f.StartsWithFolded(p) && ExtensionIs(extension, x);
    case MatchMode::Extension:
      return false;
  }
  return false;
}

bool MatchesAny(NameText name, NameText extension, const SearchQuery& query) {
  if (!query.composed && !query.initials) return MatchesFolding(name, extension, query);
  thread_local std::u16string buffer;
  // A folder has no extension, composed or not.
  if (Compose(name, buffer) && !extension.empty()) extension = FileExtension(name);
  if (MatchesFolding(name, extension, query)) return true;
  return query.initials && MatchesInitials(name, extension, query);
}

}  // namespace

bool Matches(std::u16string_view name, std::u16string_view extension, const SearchQuery& query) {
  return MatchesAny(name, extension, query);
}

bool Matches(EntryRef entry, const SearchQuery& query) {
  return !entry.isDeleted() && MatchesAny(entry.name(), entry.extension(), query);
}

bool MatchesStored(EntryRef entry, const SearchQuery& query) {
  return !entry.isDeleted() && MatchesFolding(entry.name(), entry.extension(), query);
}

}  // namespace zw
