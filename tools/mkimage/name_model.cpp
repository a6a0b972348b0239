#include "name_model.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <unordered_set>

namespace zw::gen {
namespace {

using W = std::u16string_view;

// splitmix64: tiny, fast and identical everywhere, unlike std's distributions.
struct Rng {
  uint64_t state;
  uint64_t Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint32_t Below(uint32_t n) { return n == 0 ? 0 : uint32_t(Next() % n); }
  uint32_t Between(uint32_t lo, uint32_t hi) { return lo + Below(hi - lo + 1); }
  bool PerMille(uint32_t p) { return Below(1000) < p; }
  template <typename T, size_t N>
  const T& Pick(const std::array<T, N>& a) {
    return a[Below(uint32_t(N))];
  }
};

enum class Theme { Docs, Photos, Code, Music, Downloads, Video, Misc, Game, Count };

// Word lists. Non-ASCII words appear in one letter case only, so that two
// names can only collide in case through the ASCII letters.
constexpr std::array kEnglish = {
    W(u"report"),  W(u"notes"),   W(u"meeting"), W(u"budget"),   W(u"draft"),  W(u"final"),
    W(u"invoice"), W(u"summary"), W(u"plan"),    W(u"schedule"), W(u"resume"), W(u"letter"),
    W(u"data"),    W(u"backup"),  W(u"project"), W(u"design"),   W(u"review"), W(u"contract"),
    W(u"Q3"),      W(u"old"),     W(u"new"),     W(u"copy"),     W(u"v2"),     W(u"Thesis"),
    W(u"Annual"),  W(u"Travel"),  W(u"Family"),  W(u"receipt"),  W(u"todo"),   W(u"Minutes"),
};
constexpr std::array kHangul = {
    W(u"보고서"),     W(u"회의록"),   W(u"사진"),          W(u"여행"),     W(u"가족"),
    W(u"계약서"),     W(u"견적서"),   W(u"최종"),          W(u"수정본"),   W(u"발표자료"),
    W(u"과제"),       W(u"논문"),     W(u"영수증"),        W(u"일정표"),   W(u"이력서"),
    W(u"자기소개서"), W(u"강의노트"), W(u"프로젝트"),      W(u"예산"),     W(u"설계도"),
    W(u"졸업식"),     W(u"결혼식"),   W(u"생일"),          W(u"제주도"),   W(u"서울"),
    W(u"부산"),       W(u"회사"),     W(u"개인"),          W(u"임시"),     W(u"정리"),
    W(u"메모"),       W(u"요약"),     W(u"최종_진짜최종"), W(u"참고자료"), W(u"월간"),
    W(u"검토"),
};
constexpr std::array kForeign = {
    W(u"写真"),
    W(u"資料"),
    W(u"議事録"),
    W(u"テスト"),
    W(u"報告书"),
    W(u"文件"),
    W(u"Документ"),
    W(u"Отчёт"),
    W(u"Проект"),
    W(u"Фотографии"),
    W(u"Έγγραφο"),
    W(u"Καλοκαίρι"),
    W(u"Café"),
    W(u"Résumé"),
    W(u"Übersicht"),
    W(u"Straße"),
    W(u"Mañana"),
    W(u"Zürich"),
    W(u"تقرير"),
    W(u"מסמך"),
    W(u"รายงาน"),
    W(u"😀 웃음"),
    W(u"🎵 playlist"),
    W(u"naïve"),
    // Hangul as macOS writes it: decomposed jamo (한글).
    W(u"\u1112\u1161\u11AB\u1100\u1173\u11AF"),
};
constexpr std::array kArtists = {
    W(u"아이유"),   W(u"BTS"),       W(u"Adele"),     W(u"Radiohead"),   W(u"뉴진스"),
    W(u"Beatles"),  W(u"Daft Punk"), W(u"Sigur Rós"), W(u"坂本龍一"),    W(u"Björk"),
    W(u"검정치마"), W(u"Queen"),     W(u"AC⁄DC"),     W(u"Miles Davis"),
};
constexpr std::array kSongWords = {
    W(u"좋은 날"),  W(u"Intro"),     W(u"Love"), W(u"밤편지"),    W(u"Blue"),
    W(u"Home"),     W(u"Outro"),     W(u"봄날"), W(u"Yesterday"), W(u"Paranoid Android"),
    W(u"Hype Boy"), W(u"Interlude"),
};
constexpr std::array kCodeStems = {
    W(u"main"),   W(u"util"),   W(u"file_index"), W(u"parser"),  W(u"config"), W(u"test_io"),
    W(u"server"), W(u"client"), W(u"widget"),     W(u"App"),     W(u"index"),  W(u"helpers"),
    W(u"mft"),    W(u"reader"), W(u"Window"),     W(u"strings"), W(u"api"),    W(u"model"),
};
constexpr std::array kNoExtension = {
    W(u"README"), W(u"LICENSE"), W(u"Makefile"), W(u"Dockerfile"), W(u"CHANGELOG"),
    W(u"notes"),  W(u"TODO"),    W(u"core"),     W(u"HEAD"),       W(u"메모"),
};
constexpr std::array kDotNames = {
    W(u".gitignore"),    W(u".clang-format"), W(u".env"),   W(u".bashrc"),    W(u".DS_Store"),
    W(u".editorconfig"), W(u".hidden"),       W(u".npmrc"), W(u"._사진.jpg"),
};

struct ExtInfo {
  W ext;
  uint8_t minBits;  // size between 2^minBits and 2^(maxBits+1)
  uint8_t maxBits;
};
constexpr std::array kDocExts = {
    ExtInfo{u"docx", 12, 20}, ExtInfo{u"xlsx", 12, 20}, ExtInfo{u"pdf", 14, 23},
    ExtInfo{u"pptx", 16, 24}, ExtInfo{u"hwp", 13, 20},  ExtInfo{u"txt", 5, 14},
    ExtInfo{u"md", 6, 13},    ExtInfo{u"csv", 8, 20},   ExtInfo{u"doc", 13, 19},
    ExtInfo{u"rtf", 10, 17},  ExtInfo{u"odt", 12, 18},  ExtInfo{u"PDF", 14, 22},
};
constexpr std::array kPhotoExts = {
    ExtInfo{u"jpg", 17, 22},  ExtInfo{u"JPG", 18, 22}, ExtInfo{u"png", 12, 21},
    ExtInfo{u"heic", 18, 21}, ExtInfo{u"CR2", 23, 24}, ExtInfo{u"jpeg", 16, 21},
    ExtInfo{u"gif", 12, 20},  ExtInfo{u"PNG", 12, 20}, ExtInfo{u"webp", 14, 19},
};
constexpr std::array kCodeExts = {
    ExtInfo{u"cpp", 8, 15},  ExtInfo{u"h", 7, 13},   ExtInfo{u"py", 7, 14},
    ExtInfo{u"js", 7, 16},   ExtInfo{u"ts", 7, 15},  ExtInfo{u"json", 5, 14},
    ExtInfo{u"o", 10, 19},   ExtInfo{u"rs", 8, 15},  ExtInfo{u"go", 8, 15},
    ExtInfo{u"java", 8, 15}, ExtInfo{u"cs", 8, 15},  ExtInfo{u"sh", 6, 12},
    ExtInfo{u"yml", 6, 11},  ExtInfo{u"HPP", 8, 14}, ExtInfo{u"html", 9, 16},
    ExtInfo{u"css", 8, 15},
};
constexpr std::array kMusicExts = {
    ExtInfo{u"mp3", 21, 23}, ExtInfo{u"flac", 23, 25}, ExtInfo{u"m4a", 21, 23},
    ExtInfo{u"MP3", 21, 23}, ExtInfo{u"wav", 24, 26},  ExtInfo{u"lrc", 9, 12},
};
constexpr std::array kDownloadExts = {
    ExtInfo{u"zip", 14, 28},    ExtInfo{u"exe", 16, 27}, ExtInfo{u"msi", 18, 27},
    ExtInfo{u"tar.gz", 14, 28}, ExtInfo{u"7z", 16, 28},  ExtInfo{u"iso", 28, 31},
    ExtInfo{u"pdf", 14, 23},    ExtInfo{u"ZIP", 14, 26}, ExtInfo{u"torrent", 11, 16},
    ExtInfo{u"dmg", 22, 29},    ExtInfo{u"rar", 16, 28}, ExtInfo{u"apk", 20, 26},
};
constexpr std::array kVideoExts = {
    ExtInfo{u"mp4", 22, 30}, ExtInfo{u"MOV", 23, 30}, ExtInfo{u"mkv", 27, 31},
    ExtInfo{u"avi", 23, 29}, ExtInfo{u"srt", 14, 17}, ExtInfo{u"smi", 14, 17},
};
constexpr std::array kMiscExts = {
    ExtInfo{u"bak", 10, 24}, ExtInfo{u"log", 8, 20},  ExtInfo{u"ini", 6, 11},
    ExtInfo{u"dat", 9, 24},  ExtInfo{u"tmp", 0, 16},  ExtInfo{u"lnk", 10, 11},
    ExtInfo{u"db", 13, 22},  ExtInfo{u"xml", 8, 16},  ExtInfo{u"url", 6, 8},
    ExtInfo{u"DLL", 15, 23}, ExtInfo{u"sys", 14, 20},
};
constexpr std::array kGameExts = {
    ExtInfo{u"pak", 24, 30}, ExtInfo{u"sav", 12, 20}, ExtInfo{u"dll", 15, 24},
    ExtInfo{u"exe", 18, 26}, ExtInfo{u"cfg", 6, 12},  ExtInfo{u"dds", 14, 22},
};

struct TopFolder {
  W name;
  Theme theme;
};
constexpr std::array kTopFolders = {
    TopFolder{u"문서", Theme::Docs},           TopFolder{u"Documents", Theme::Docs},
    TopFolder{u"사진", Theme::Photos},         TopFolder{u"Pictures", Theme::Photos},
    TopFolder{u"Projects", Theme::Code},       TopFolder{u"src", Theme::Code},
    TopFolder{u"Music", Theme::Music},         TopFolder{u"음악", Theme::Music},
    TopFolder{u"Downloads", Theme::Downloads}, TopFolder{u"다운로드", Theme::Downloads},
    TopFolder{u"Videos", Theme::Video},        TopFolder{u"Backup", Theme::Misc},
    TopFolder{u"Games", Theme::Game},          TopFolder{u"공유 폴더", Theme::Misc},
    TopFolder{u"새 폴더", Theme::Misc},        TopFolder{u"Program Files", Theme::Game},
};

constexpr uint64_t kTime2010 = 129067776000000000ull;  // FILETIME of 2010-01-01
constexpr uint64_t kTimeSpan = 5049216000000000ull;    // 2010-01-01 .. 2026-01-01

struct FolderInfo {
  uint32_t node;
  uint32_t depth;
  Theme theme;
};

std::u16string Number(uint64_t v, int width) {
  std::u16string s;
  do {
    s.insert(s.begin(), char16_t(u'0' + v % 10));
    v /= 10;
  } while (v != 0);
  while (int(s.size()) < width) s.insert(s.begin(), u'0');
  return s;
}

std::u16string Date(Rng& r, char16_t sep) {
  std::u16string s = Number(r.Between(2005, 2025), 4);
  if (sep) s += sep;
  s += Number(r.Between(1, 12), 2);
  if (sep) s += sep;
  s += Number(r.Between(1, 28), 2);
  return s;
}

std::u16string AnyWord(Rng& r) {
  switch (r.Below(10)) {
    case 0:
    case 1:
    case 2:
    case 3:
      return std::u16string(r.Pick(kHangul));
    case 4:
      return std::u16string(r.Pick(kForeign));
    default:
      return std::u16string(r.Pick(kEnglish));
  }
}

char16_t Separator(Rng& r) {
  constexpr std::array<char16_t, 5> kSeps = {u' ', u'_', u'-', u'.', u' '};
  return r.Pick(kSeps);
}

// Code units that NTFS would fold together for the scripts the lists use.
// Names are only compared with each other for uniqueness in a folder.
char16_t Upcase(char16_t c) {
  if (c >= u'a' && c <= u'z') return char16_t(c - 32);
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) ||
      (c >= 0x430 && c <= 0x44F))
    return char16_t(c - 32);
  if (c >= 0x450 && c <= 0x45F) return char16_t(c - 80);
  return c;
}

// Cuts a name to at most `limit` code units without splitting a surrogate pair.
void CutTo(std::u16string& s, size_t limit) {
  if (s.size() <= limit) return;
  s.resize(limit);
  if (!s.empty() && s.back() >= 0xD800 && s.back() <= 0xDBFF) s.pop_back();
}

// Windows refuses names ending in a space or dot.
void TrimEnd(std::u16string& s) {
  while (!s.empty() && (s.back() == u' ' || s.back() == u'.')) s.pop_back();
}

class Builder {
 public:
  Builder(uint64_t seed, uint32_t count) : r_{seed ^ 0x5A4E4452574E21ull}, count_(count) {
    nodes_.reserve(count);
    taken_.reserve(size_t(count) * 2);
  }

  std::vector<Node> Run();

 private:
  uint32_t Add(uint32_t parent, std::u16string name, bool isFolder, uint64_t size, uint32_t flags,
               uint32_t linkOf = kNone);
  uint32_t AddFolder(const FolderInfo& parent, std::u16string name, Theme theme);
  std::u16string FolderName(Theme t, uint32_t depth);
  std::u16string FileStem(Theme t, uint32_t serial);
  const ExtInfo& Extension(Theme t);
  uint64_t Size(const ExtInfo& e);
  std::u16string LongName(size_t length);
  void FileBurst(const FolderInfo& f);
  void AddFile(const FolderInfo& f, uint32_t serial);
  void AddManyLinks(const FolderInfo& f);
  void AddHardLink(const FolderInfo& f);
  bool Room(uint32_t n) const { return nodes_.size() + n <= limit_; }

  Rng r_;
  uint32_t count_;
  uint32_t limit_ = 0;
  std::vector<Node> nodes_;
  std::vector<FolderInfo> folders_;
  std::vector<uint32_t> plainFiles_;          // candidates for hard links
  std::unordered_set<std::u16string> taken_;  // folded name + parent, per folder
  bool hasManyLinks_ = false, hasManyStreams_ = false, hasFragmented_ = false;
  bool hasDeleted_ = false, hasHardLink_ = false, hasLong255_ = false;
};

uint32_t Builder::Add(uint32_t parent, std::u16string name, bool isFolder, uint64_t size,
                      uint32_t flags, uint32_t linkOf) {
  CutTo(name, 255);
  TrimEnd(name);
  if (name.empty()) name = u"x";
  auto key = [&](const std::u16string& n) {
    std::u16string k;
    k.reserve(n.size() + 3);
    for (char16_t c : n) k += Upcase(c);
    k += u'\0';
    k += char16_t(parent & 0xFFFF);
    k += char16_t(parent >> 16);
    return k;
  };
  std::u16string k = key(name);
  if (taken_.count(k) != 0) {
    // Keep the extension and number the stem, as Explorer does: "a (2).txt".
    size_t dot = name.rfind(u'.');
    if (dot == 0 || dot == std::u16string::npos || isFolder) dot = name.size();
    std::u16string stem = name.substr(0, dot), ext = name.substr(dot);
    for (uint32_t n = 2;; ++n) {
      std::u16string suffix = u" (" + Number(n, 0) + u")";
      std::u16string s = stem;
      CutTo(s, 255 - suffix.size() - ext.size());
      std::u16string candidate = s;
      candidate += suffix;
      candidate += ext;
      k = key(candidate);
      if (taken_.count(k) == 0) {
        name = std::move(candidate);
        break;
      }
    }
  }
  taken_.insert(std::move(k));
  Node n;
  n.name = std::move(name);
  n.parent = parent;
  n.isFolder = isFolder;
  n.size = isFolder ? 0 : size;
  n.flags = flags;
  n.linkOf = linkOf;
  n.creationTime = kTime2010 + r_.Next() % kTimeSpan;
  n.modificationTime = n.creationTime + r_.Next() % (kTime2010 + kTimeSpan - n.creationTime + 1);
  nodes_.push_back(std::move(n));
  return uint32_t(nodes_.size() - 1);
}

uint32_t Builder::AddFolder(const FolderInfo& parent, std::u16string name, Theme theme) {
  uint32_t id = Add(parent.node, std::move(name), true, 0, 0);
  folders_.push_back({id, parent.depth + 1, theme});
  return id;
}

std::u16string Builder::FolderName(Theme t, uint32_t depth) {
  switch (r_.Below(12)) {
    case 0:
      return Date(r_, u'-');
    case 1:
      return Number(r_.Between(2000, 2025), 4) + u"년";
    case 2:
      return AnyWord(r_);
    case 3:
      return AnyWord(r_) + Separator(r_) + AnyWord(r_);
    default:
      break;
  }
  switch (t) {
    case Theme::Docs: {
      constexpr std::array k = {W(u"Archive"), W(u"old"),   W(u"회계"),  W(u"Contracts"),
                                W(u"인사팀"),  W(u"Scans"), W(u"Taxes"), W(u"제출용")};
      return std::u16string(r_.Pick(k)) + (r_.PerMille(300) ? u" " + Number(r_.Below(40), 0) : u"");
    }
    case Theme::Photos: {
      constexpr std::array k = {W(u"DCIM"), W(u"Camera Roll"), W(u"100APPLE"), W(u"Screenshots"),
                                W(u"휴가"), W(u"Edited"),      W(u"RAW"),      W(u"스캔")};
      if (r_.PerMille(400)) return Date(r_, u'-') + u" " + AnyWord(r_);
      return std::u16string(r_.Pick(k));
    }
    case Theme::Code: {
      constexpr std::array k = {W(u"src"),  W(u"include"),      W(u"tests"),  W(u"build"),
                                W(u"lib"),  W(u"node_modules"), W(u".git"),   W(u"objects"),
                                W(u"docs"), W(u"tools"),        W(u"vendor"), W(u"internal"),
                                W(u"bin"),  W(u"obj"),          W(u"Debug"),  W(u"x64")};
      if (depth > 2 && r_.PerMille(250)) return std::u16string(r_.Pick(kCodeStems));
      return std::u16string(r_.Pick(k));
    }
    case Theme::Music:
      if (r_.PerMille(500)) return std::u16string(r_.Pick(kArtists));
      return Number(r_.Between(1970, 2024), 4) + u" - " + std::u16string(r_.Pick(kSongWords));
    case Theme::Downloads: {
      constexpr std::array k = {W(u"Telegram Desktop"), W(u"카카오톡 받은 파일"), W(u"Compressed"),
                                W(u"setup"), W(u"drivers")};
      return std::u16string(r_.Pick(k));
    }
    case Theme::Video: {
      constexpr std::array k = {W(u"Season 1"), W(u"강의"), W(u"녹화"), W(u"Clips"), W(u"Movies")};
      return std::u16string(r_.Pick(k));
    }
    case Theme::Game: {
      constexpr std::array k = {W(u"Saves"), W(u"Mods"),   W(u"Data"),    W(u"Binaries"),
                                W(u"Win64"), W(u"Config"), W(u"Content"), W(u"Paks")};
      return std::u16string(r_.Pick(k));
    }
    default: {
      constexpr std::array k = {W(u"temp"),   W(u"misc"),     W(u"새 폴더"),   W(u"New folder"),
                                W(u".cache"), W(u"_archive"), W(u"Old Files"), W(u"보관")};
      return std::u16string(r_.Pick(k));
    }
  }
}

std::u16string Builder::FileStem(Theme t, uint32_t serial) {
  uint32_t pick = r_.Below(100);
  if (pick < 8) return AnyWord(r_) + Separator(r_) + Date(r_, r_.PerMille(500) ? u'-' : 0);
  if (pick < 14) return AnyWord(r_) + u" (" + Number(r_.Between(1, 9), 0) + u")";
  switch (t) {
    case Theme::Photos:
      switch (r_.Below(4)) {
        case 0:
          return u"IMG_" + Number(serial, 4);
        case 1:
          return u"DSC" + Number(serial, 5);
        case 2:
          return Date(r_, u'-') + u" " + Number(r_.Below(24), 2) + u"." + Number(r_.Below(60), 2);
        default:
          return std::u16string(r_.Pick(kHangul)) + u" " + Number(serial, 3);
      }
    case Theme::Code:
      if (r_.PerMille(300)) return std::u16string(r_.Pick(kCodeStems)) + u"_" + Number(serial, 0);
      return std::u16string(r_.Pick(kCodeStems));
    case Theme::Music:
      return Number(serial % 20 + 1, 2) + u" - " + std::u16string(r_.Pick(kSongWords));
    case Theme::Downloads:
      if (r_.PerMille(400))
        return std::u16string(r_.Pick(kCodeStems)) + u"-setup-" + Number(r_.Below(10), 0) + u"." +
               Number(r_.Below(20), 0) + u"." + Number(r_.Below(100), 0);
      return AnyWord(r_) + Separator(r_) + Number(r_.Below(100000), 0);
    case Theme::Video:
      if (r_.PerMille(500)) return u"VID_" + Date(r_, 0) + u"_" + Number(r_.Below(1000000), 6);
      return AnyWord(r_) + u" S01E" + Number(serial % 24 + 1, 2);
    default:
      if (r_.PerMille(300)) return AnyWord(r_) + Separator(r_) + AnyWord(r_);
      return AnyWord(r_) + Separator(r_) + Number(serial, r_.Below(4));
  }
}

const ExtInfo& Builder::Extension(Theme t) {
  switch (t) {
    case Theme::Docs:
      return r_.Pick(kDocExts);
    case Theme::Photos:
      return r_.Pick(kPhotoExts);
    case Theme::Code:
      return r_.Pick(kCodeExts);
    case Theme::Music:
      return r_.Pick(kMusicExts);
    case Theme::Downloads:
      return r_.Pick(kDownloadExts);
    case Theme::Video:
      return r_.Pick(kVideoExts);
    case Theme::Game:
      return r_.Pick(kGameExts);
    default:
      return r_.Pick(kMiscExts);
  }
}

uint64_t Builder::Size(const ExtInfo& e) {
  if (r_.PerMille(20)) return 0;
  uint32_t bits = r_.Between(e.minBits, e.maxBits);
  uint64_t base = uint64_t(1) << bits;
  return base + r_.Next() % base;
}

std::u16string Builder::LongName(size_t length) {
  std::u16string s;
  while (s.size() < length) {
    if (!s.empty()) s += Separator(r_);
    s += AnyWord(r_);
  }
  CutTo(s, length);
  TrimEnd(s);
  while (s.size() < length) s += u'_';  // lands exactly on the length asked for
  return s;
}

void Builder::AddFile(const FolderInfo& f, uint32_t serial) {
  uint32_t pick = r_.Below(1000);
  std::u16string name;
  const ExtInfo* ext = &Extension(f.theme);
  if (pick < 25) {
    name = std::u16string(r_.Pick(kNoExtension));
  } else if (pick < 40) {
    name = std::u16string(r_.Pick(kDotNames));
  } else if (pick < 43) {
    // Long names, a few at the very limit of 255 code units.
    size_t len = r_.PerMille(300) ? 255 : r_.Between(100, 250);
    name = LongName(len - ext->ext.size() - 1) + u"." + std::u16string(ext->ext);
    if (name.size() == 255) hasLong255_ = true;
  } else if (pick < 45) {
    name = u"$" + AnyWord(r_) + u"." + std::u16string(ext->ext);
  } else if (pick < 60) {
    name = FileStem(f.theme, serial) + u"." + std::u16string(ext->ext);
    for (char16_t& c : name) c = (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
  } else {
    name = FileStem(f.theme, serial) + u"." + std::u16string(ext->ext);
  }
  uint32_t flags = 0;
  uint64_t size = Size(*ext);
  if (r_.PerMille(10)) {
    flags |= kDeleted;
    hasDeleted_ = true;
  }
  uint32_t id = Add(f.node, std::move(name), false, size, flags);
  if (flags == 0 && plainFiles_.size() < 65536)
    plainFiles_.push_back(id);
  else if (flags == 0 && r_.PerMille(20))
    plainFiles_[r_.Below(uint32_t(plainFiles_.size()))] = id;
}

void Builder::AddHardLink(const FolderInfo& f) {
  if (plainFiles_.empty()) return;
  uint32_t target = plainFiles_[r_.Below(uint32_t(plainFiles_.size()))];
  std::u16string name =
      r_.PerMille(500) ? nodes_[target].name : AnyWord(r_) + u" 링크 " + nodes_[target].name;
  Add(f.node, std::move(name), false, nodes_[target].size, kHardLink, target);
  hasHardLink_ = true;
}

void Builder::AddManyLinks(const FolderInfo& f) {
  // Long link names make the $FILE_NAME attributes outgrow a 1 KiB record.
  uint32_t id = Add(f.node, LongName(60) + u".txt", false, r_.Between(100, 5000), kManyLinks);
  for (int i = 0; i < kManyLinksCount; ++i) {
    const FolderInfo& where = folders_[r_.Below(uint32_t(folders_.size()))];
    Add(where.node, LongName(60) + u" " + Number(uint32_t(i), 2) + u".txt", false, nodes_[id].size,
        kHardLink, id);
  }
  hasManyLinks_ = true;
}

void Builder::FileBurst(const FolderInfo& f) {
  uint32_t n;
  switch (f.theme) {
    case Theme::Photos:
      n = r_.PerMille(100) ? r_.Between(50, 400) : r_.Between(3, 30);
      break;
    case Theme::Music:
      n = r_.Between(6, 16);
      break;
    case Theme::Code:
      n = r_.Between(1, 20);
      break;
    default:
      n = r_.PerMille(50) ? r_.Between(20, 200) : r_.Between(1, 10);
      break;
  }
  uint32_t serial = r_.Between(1, 9000);
  for (uint32_t i = 0; i < n && Room(1); ++i) {
    uint32_t special = r_.Below(100000);
    if (special < 500) {
      AddHardLink(f);
    } else if (special < 502 && Room(kManyLinksCount + 1)) {
      AddManyLinks(f);
    } else if (special < 504) {
      Add(f.node, std::u16string(r_.Pick(kEnglish)) + u" streams.dat", false, 4096, kManyStreams);
      hasManyStreams_ = true;
    } else if (special < 508) {
      Add(f.node, AnyWord(r_) + u" 조각.bin", false, r_.Between(1, 4) << 20, kFragmented);
      hasFragmented_ = true;
    } else {
      AddFile(f, serial + i);
    }
  }
}

std::vector<Node> Builder::Run() {
  // A few nodes at the end are kept for the special cases a small tree would
  // otherwise not reach, so that every tree exercises them.
  constexpr uint32_t kReserve = kManyLinksCount + 8;
  const bool specials = count_ >= 4 * kReserve;
  limit_ = specials ? count_ - kReserve : count_;

  FolderInfo root{kRoot, 0, Theme::Misc};
  uint32_t tops =
      std::min<uint32_t>(uint32_t(kTopFolders.size()), std::max<uint32_t>(1, count_ / 20));
  uint32_t first = r_.Below(uint32_t(kTopFolders.size()));
  for (uint32_t i = 0; i < tops && Room(1); ++i) {
    const TopFolder& t = kTopFolders[(first + i) % kTopFolders.size()];
    AddFolder(root, std::u16string(t.name), t.theme);
  }
  if (count_ >= 200 && Room(3)) {
    // The recycle bin holds "$"-prefixed names that listings leave out.
    uint32_t bin = AddFolder(root, u"$RECYCLE.BIN", Theme::Misc);
    folders_.pop_back();  // nothing else goes in there
    Add(bin, u"$R" + Number(r_.Below(1000000), 6) + u".docx", false, 20000, 0);
    Add(bin, u"desktop.ini", false, 129, 0);
  }

  size_t cursor = folders_.empty() ? 0 : r_.Below(uint32_t(folders_.size()));
  while (Room(1)) {
    if (folders_.empty()) {
      Add(kRoot, FileStem(Theme::Docs, uint32_t(nodes_.size())) + u".txt", false, 100, 0);
      continue;
    }
    FolderInfo f = folders_[cursor];
    uint32_t pick = r_.Below(100);
    static constexpr std::array<uint32_t, 13> kSubfolderChance = {0,  60, 56, 50, 44, 36, 28,
                                                                  20, 14, 9,  6,  3,  0};
    uint32_t sub = f.depth < kSubfolderChance.size() ? kSubfolderChance[f.depth] : 0;
    if (pick < sub) {
      Theme t = r_.PerMille(60) ? Theme(r_.Below(uint32_t(Theme::Count))) : f.theme;
      AddFolder(f, FolderName(t, f.depth + 1), t);
      cursor = folders_.size() - 1;
    } else if (pick < sub + 30) {
      FileBurst(f);
    } else if (pick < sub + 50) {
      // Up one level.
      for (size_t i = cursor; i-- > 0;)
        if (folders_[i].node == nodes_[f.node].parent) {
          cursor = i;
          break;
        }
    } else {
      cursor = r_.Below(uint32_t(folders_.size()));
    }
  }

  if (specials && !folders_.empty()) {
    limit_ = count_;
    auto someFolder = [&]() -> const FolderInfo& {
      return folders_[r_.Below(uint32_t(folders_.size()))];
    };
    if (!hasManyLinks_) AddManyLinks(someFolder());
    if (!hasManyStreams_) Add(someFolder().node, u"여러 스트림.dat", false, 4096, kManyStreams);
    if (!hasFragmented_) Add(someFolder().node, u"fragmented.bin", false, 3u << 20, kFragmented);
    if (!hasLong255_) Add(someFolder().node, LongName(251) + u".txt", false, 300, 0);
    if (!hasDeleted_) Add(someFolder().node, u"지운 파일.txt", false, 10, kDeleted);
    if (!hasHardLink_) AddHardLink(someFolder());
    while (Room(1)) AddFile(someFolder(), uint32_t(nodes_.size()));
  }
  return std::move(nodes_);
}

}  // namespace

std::vector<Node> MakeTree(uint64_t seed, uint32_t count) {
  return Builder(seed, count).Run();
}

std::u16string PathOf(const std::vector<Node>& nodes, uint32_t i, char16_t separator) {
  std::vector<uint32_t> chain;
  for (uint32_t at = i; at != kRoot && at < nodes.size() && chain.size() <= nodes.size();
       at = nodes[at].parent)
    chain.push_back(at);
  std::u16string path;
  for (size_t k = chain.size(); k-- > 0;) {
    path += nodes[chain[k]].name;
    if (k != 0) path += separator;
  }
  return path;
}

uint32_t DepthOf(const std::vector<Node>& nodes, uint32_t i) {
  uint32_t depth = 0;
  for (uint32_t at = i; at != kRoot && at < nodes.size() && depth <= nodes.size();
       at = nodes[at].parent)
    ++depth;
  return depth;
}

}  // namespace zw::gen
