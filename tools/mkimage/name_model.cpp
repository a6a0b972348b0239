#include "name_model.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <unordered_map>
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

enum class Theme {
  Docs,
  Photos,
  Code,
  Music,
  Downloads,
  Video,
  Misc,
  Game,
  Count,
  // The system-drive profile's own, past Count so the user themes keep their numbers.
  SxsRoot,
  Component,
  Manifests,
  Catalogs,
  System,
  Locale,
  DriverStore,
  Driver,
  Prefetch,
  Logs,
  Packages,
  AppPackage,
  Programs,
  AppData,
  NodeModules
};

bool IsSystemTheme(Theme t) {
  return t > Theme::Count;
}

// Where a jump of the system-drive walk lands, by weight: without it the
// thousands of flat component folders would draw nearly every jump.
enum Region { kSxs, kSys, kApps, kAppData, kUser, kRegions };
constexpr std::array<uint32_t, kRegions> kRegionWeight = {36, 20, 16, 12, 16};

Region RegionOf(Theme t) {
  switch (t) {
    case Theme::SxsRoot:
    case Theme::Component:
    case Theme::Manifests:
    case Theme::Catalogs:
      return kSxs;
    case Theme::System:
    case Theme::Locale:
    case Theme::DriverStore:
    case Theme::Driver:
    case Theme::Prefetch:
    case Theme::Logs:
      return kSys;
    case Theme::Packages:
    case Theme::AppPackage:
    case Theme::Programs:
      return kApps;
    case Theme::AppData:
    case Theme::NodeModules:
      return kAppData;
    default:
      return kUser;
  }
}

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

// The system-drive profile. Its words appear in one letter case only, as
// above; names in it are mostly ASCII, and the user's own folders bring the
// Hangul, accented Latin-1 and CJK.
constexpr std::array kLongEnglish = {
    W(u"Report"),        W(u"Invoice"),      W(u"Meeting Notes"),  W(u"Budget"),
    W(u"Draft"),         W(u"Final"),        W(u"Summary"),        W(u"Schedule"),
    W(u"Resume"),        W(u"Letter"),       W(u"Backup"),         W(u"Project"),
    W(u"Design"),        W(u"Review"),       W(u"Contract"),       W(u"Screenshot"),
    W(u"Proposal"),      W(u"Presentation"), W(u"Quarterly Plan"), W(u"Minutes"),
    W(u"Receipt"),       W(u"Travel"),       W(u"Family"),         W(u"Thesis"),
    W(u"Annual Report"), W(u"Statement"),    W(u"Portfolio"),      W(u"Timeline"),
    W(u"Roadmap"),       W(u"Checklist"),    W(u"Notes"),          W(u"Copy of"),
    W(u"copy"),          W(u"Old"),          W(u"todo"),           W(u"Scan"),
};
constexpr std::array kLatin1 = {
    W(u"Café"),    W(u"Résumé"),   W(u"Déjà vu"),  W(u"Crème brûlée"), W(u"Mañana"),
    W(u"Niño"),    W(u"Über uns"), W(u"Größe"),    W(u"Français"),     W(u"São Paulo"),
    W(u"Ação"),    W(u"Müller"),   W(u"Zürich"),   W(u"Noël"),         W(u"été"),
    W(u"Année"),   W(u"Réunion"),  W(u"Éditions"), W(u"Smørrebrød"),   W(u"Ångström"),
    W(u"Fußball"), W(u"Città"),    W(u"Señales"),  W(u"Perú"),         W(u"Bogotá"),
};
constexpr std::array kCjk = {
    W(u"写真"), W(u"資料"), W(u"議事録"), W(u"報告書"), W(u"会議"),
    W(u"文件"), W(u"项目"), W(u"東京"),   W(u"旅行"),   W(u"見積書"),
};
// Component, package and file words of Windows itself.
constexpr std::array kSxsWords = {
    W(u"shell32"),    W(u"kernel32"),  W(u"networking"),
    W(u"mpssvc"),     W(u"gdiplus"),   W(u"common-controls"),
    W(u"directx"),    W(u"direct3d"),  W(u"printing"),
    W(u"spooler"),    W(u"core"),      W(u"client"),
    W(u"features"),   W(u"package"),   W(u"defender"),
    W(u"update"),     W(u"servicing"), W(u"stack"),
    W(u"edge"),       W(u"webview"),   W(u"media"),
    W(u"player"),     W(u"speech"),    W(u"onecore"),
    W(u"security"),   W(u"bluetooth"), W(u"audio"),
    W(u"display"),    W(u"font"),      W(u"input"),
    W(u"ime"),        W(u"korean"),    W(u"search"),
    W(u"indexer"),    W(u"tcpip"),     W(u"wlan"),
    W(u"storage"),    W(u"usb"),       W(u"hid"),
    W(u"telemetry"),  W(u"appx"),      W(u"deployment"),
    W(u"runtime"),    W(u"netfx4"),    W(u"wmi"),
    W(u"powershell"), W(u"hyperv"),    W(u"graphics"),
    W(u"xaml"),       W(u"explorer"),  W(u"taskbar"),
    W(u"startmenu"),  W(u"photos"),    W(u"notepad"),
    W(u"mshtml"),
};
constexpr std::array kPascal = {
    W(u"Shell"),         W(u"Storage"),   W(u"Media"),         W(u"Devices"),
    W(u"Networking"),    W(u"Security"),  W(u"Cryptography"),  W(u"Management"),
    W(u"Deployment"),    W(u"Update"),    W(u"Orchestrator"),  W(u"Graphics"),
    W(u"Display"),       W(u"Input"),     W(u"Speech"),        W(u"Search"),
    W(u"Settings"),      W(u"Accounts"),  W(u"Cloud"),         W(u"Experience"),
    W(u"Host"),          W(u"Runtime"),   W(u"Broker"),        W(u"Service"),
    W(u"Client"),        W(u"Core"),      W(u"Internal"),      W(u"Composition"),
    W(u"Xaml"),          W(u"Controls"),  W(u"Web"),           W(u"Http"),
    W(u"Data"),          W(u"Json"),      W(u"Globalization"), W(u"Authentication"),
    W(u"Identity"),      W(u"Provider"),  W(u"Background"),    W(u"Tasks"),
    W(u"Notifications"), W(u"Audio"),     W(u"Capture"),       W(u"Bluetooth"),
    W(u"Print"),         W(u"Sensors"),   W(u"Location"),      W(u"Gaming"),
    W(u"Ink"),           W(u"Power"),     W(u"Diagnostics"),   W(u"Tracing"),
    W(u"Remote"),        W(u"Desktop"),   W(u"Terminal"),      W(u"Foundation"),
    W(u"Collections"),   W(u"Threading"), W(u"Health"),        W(u"Defender"),
    W(u"Firewall"),      W(u"Privacy"),   W(u"Photos"),        W(u"Calculator"),
    W(u"Explorer"),      W(u"Widgets"),   W(u"OneDrive"),      W(u"Store"),
    W(u"Extensions"),    W(u"Logging"),
};
constexpr std::array kSysStems = {
    W(u"ntdll"),    W(u"kernel32"), W(u"user32"),   W(u"gdi32"),    W(u"advapi32"),  W(u"shell32"),
    W(u"combase"),  W(u"ole32"),    W(u"oleaut32"), W(u"rpcrt4"),   W(u"ws2_32"),    W(u"crypt32"),
    W(u"bcrypt"),   W(u"ncrypt"),   W(u"wininet"),  W(u"winhttp"),  W(u"dxgi"),      W(u"d3d11"),
    W(u"d3d12"),    W(u"dwrite"),   W(u"msvcrt"),   W(u"ucrtbase"), W(u"comctl32"),  W(u"setupapi"),
    W(u"cfgmgr32"), W(u"netapi32"), W(u"sechost"),  W(u"msctf"),    W(u"uxtheme"),   W(u"dwmapi"),
    W(u"propsys"),  W(u"shlwapi"),  W(u"urlmon"),   W(u"powrprof"), W(u"userenv"),   W(u"dnsapi"),
    W(u"iphlpapi"), W(u"mswsock"),  W(u"schannel"), W(u"svchost"),  W(u"lsass"),     W(u"csrss"),
    W(u"winlogon"), W(u"conhost"),  W(u"taskmgr"),  W(u"regedit"),  W(u"rundll32"),  W(u"dllhost"),
    W(u"explorer"), W(u"sihost"),   W(u"ctfmon"),   W(u"spoolsv"),  W(u"audiodg"),   W(u"msiexec"),
    W(u"netsh"),    W(u"wmic"),     W(u"chrome"),   W(u"code"),     W(u"kakaotalk"), W(u"hwp"),
};
constexpr std::array kSysSuffixes = {
    W(u""),    W(u""),     W(u""),    W(u"32"),   W(u"ui"),  W(u"svc"), W(u"api"), W(u"core"),
    W(u"ext"), W(u"host"), W(u"res"), W(u"prov"), W(u"mgr"), W(u"srv"), W(u"cli"), W(u"base"),
};
constexpr std::array kLocales = {W(u"en-US"), W(u"ko-KR"), W(u"de-DE"), W(u"fr-FR"),
                                 W(u"ja-JP"), W(u"zh-CN"), W(u"es-ES"), W(u"pt-BR")};

std::u16string LongWord(Rng& r) {
  uint32_t p = r.Below(100);
  if (p < 48) return std::u16string(r.Pick(kLongEnglish));
  if (p < 79) return std::u16string(r.Pick(kHangul));
  if (p < 92) return std::u16string(r.Pick(kLatin1));
  if (p < 98) return std::u16string(r.Pick(kCjk));
  return std::u16string(r.Pick(kForeign));
}

std::u16string Hex(Rng& r, int digits, bool upper = false) {
  const char16_t* set = upper ? u"0123456789ABCDEF" : u"0123456789abcdef";
  std::u16string s;
  for (int i = 0; i < digits; ++i) s += set[r.Below(16)];
  return s;
}

std::u16string Lower(std::u16string s) {
  for (char16_t& c : s)
    if (c >= u'A' && c <= u'Z') c = char16_t(c + 32);
  return s;
}

std::u16string Upper(std::u16string s) {
  for (char16_t& c : s)
    if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
  return s;
}

// Pascal words joined: Windows.Media.Devices, SettingsSyncHost.
std::u16string PascalRun(Rng& r, uint32_t lo, uint32_t hi, std::u16string_view join) {
  std::u16string s;
  for (uint32_t i = 0, n = r.Between(lo, hi); i < n; ++i) {
    if (i != 0) s += join;
    s += r.Pick(kPascal);
  }
  return s;
}

std::u16string WindowsVersion(Rng& r) {
  constexpr std::array kBuilds = {W(u"10.0.19041."), W(u"10.0.22621."), W(u"10.0.26100."),
                                  W(u"6.1.7601.")};
  return std::u16string(r.Pick(kBuilds)) + Number(r.Below(5000), 0);
}

// amd64_microsoft-windows-shell32.resources_31bf3856ad364e35_10.0.19041.1_ko-kr_0123456789abcdef
std::u16string ComponentName(Rng& r) {
  constexpr std::array kArch = {W(u"amd64"), W(u"amd64"), W(u"amd64"),
                                W(u"wow64"), W(u"x86"),   W(u"msil")};
  constexpr std::array kVendor = {W(u"microsoft-windows-"), W(u"microsoft-windows-"),
                                  W(u"microsoft-windows-"), W(u"microsoft-onecore-"),
                                  W(u"microsoft.windows."), W(u"policy.12.0.microsoft.")};
  constexpr std::array kTokens = {W(u"_31bf3856ad364e35_"), W(u"_31bf3856ad364e35_"),
                                  W(u"_b03f5f7f11d50a3a_"), W(u"_b77a5c561934e089_")};
  constexpr std::array kSxsLocales = {W(u"none"),  W(u"none"),  W(u"none"),  W(u"none"),
                                      W(u"en-us"), W(u"ko-kr"), W(u"de-de"), W(u"ja-jp")};
  std::u16string body(r.Pick(kVendor));
  for (uint32_t i = 0, n = r.Between(1, 4); i < n; ++i) {
    if (i != 0) body += u'-';
    body += r.Pick(kSxsWords);
  }
  if (r.PerMille(250)) body += u".resources";
  // Windows shortens the middle of long component names the same way.
  if (body.size() > 40) body = body.substr(0, 19) + u".." + body.substr(body.size() - 19);
  return std::u16string(r.Pick(kArch)) + u'_' + body + std::u16string(r.Pick(kTokens)) +
         WindowsVersion(r) + u'_' + std::u16string(r.Pick(kSxsLocales)) + u'_' + Hex(r, 16);
}

// Microsoft.WindowsCalculator_11.2307.4.0_x64__8wekyb3d8bbwe
std::u16string PackageName(Rng& r) {
  constexpr std::array kPublishers = {W(u"Microsoft."),         W(u"Microsoft."),
                                      W(u"Microsoft.Windows."), W(u"Microsoft.UI."),
                                      W(u"Clipchamp."),         W(u"SpotifyAB."),
                                      W(u"NVIDIACorp."),        W(u"RealtekSemiconductorCorp.")};
  constexpr std::array kArch = {W(u"_x64_"), W(u"_x64_"), W(u"_neutral_"), W(u"_x86_"),
                                W(u"_arm64_")};
  constexpr std::array kIds = {W(u"8wekyb3d8bbwe"), W(u"8wekyb3d8bbwe"), W(u"cw5n1h2txyewy"),
                               W(u"kzf8qxf38zg5c"), W(u"qbz5n2kfra8p0"), W(u"dt26b99r8h8gj")};
  std::u16string s = std::u16string(r.Pick(kPublishers)) + PascalRun(r, 1, 3, u"") + u'_' +
                     Number(r.Between(1, 120), 0) + u'.' + Number(r.Between(1, 2400), 0) + u'.' +
                     Number(r.Below(300), 0) + u".0" + std::u16string(r.Pick(kArch));
  if (r.PerMille(300)) s += u"split.scale-" + Number(r.Between(1, 4) * 25 + 75, 0);
  return s + u'_' + std::u16string(r.Pick(kIds));
}

// A file of Windows itself: ntdll.dll, Windows.Media.Devices.dll, SettingsSyncHost.exe.
std::u16string SystemBinary(Rng& r) {
  constexpr std::array kPrefixes = {W(u"Windows."), W(u"Microsoft.Windows."), W(u"Microsoft."),
                                    W(u"System."), W(u"Windows.Internal.")};
  constexpr std::array kLowerExts = {W(u".dll"), W(u".dll"), W(u".dll"), W(u".dll"), W(u".exe"),
                                     W(u".sys"), W(u".cpl"), W(u".drv"), W(u".tlb"), W(u".nls")};
  uint32_t p = r.Below(100);
  if (p < 48) return std::u16string(r.Pick(kPrefixes)) + PascalRun(r, 1, 4, u".") + u".dll";
  if (p < 78)
    return std::u16string(r.Pick(kSysStems)) + std::u16string(r.Pick(kSysSuffixes)) +
           std::u16string(r.Pick(kLowerExts));
  return PascalRun(r, 2, 3, u"") + (r.PerMille(500) ? u".exe" : u".dll");
}

uint32_t SubfolderChance(uint32_t depth) {
  static constexpr std::array<uint32_t, 13> kSubfolderChance = {0,  60, 56, 50, 44, 36, 28,
                                                                20, 14, 9,  6,  3,  0};
  return depth < kSubfolderChance.size() ? kSubfolderChance[depth] : 0;
}

class Builder {
 public:
  Builder(uint64_t seed, uint32_t count, Profile profile)
      : r_{seed ^ 0x5A4E4452574E21ull}, count_(count), long_(profile == Profile::Long) {
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
  std::u16string Word() { return long_ ? LongWord(r_) : AnyWord(r_); }
  void LongSkeleton();
  void LongSubfolder(const FolderInfo& f);
  uint32_t LongSubfolderChance(const FolderInfo& f) const;
  uint32_t LongBurst(Theme t);
  std::u16string SystemFile(Theme t, ExtInfo& bits);
  size_t LongJump();
  bool Room(uint32_t n) const { return nodes_.size() + n <= limit_; }

  Rng r_;
  uint32_t count_;
  bool long_;
  uint32_t limit_ = 0;
  std::vector<Node> nodes_;
  std::vector<FolderInfo> folders_;
  std::vector<uint32_t> folderIndex_;                    // node -> its place in folders_
  std::array<std::vector<uint32_t>, kRegions> regions_;  // places in folders_, long profile
  uint32_t manifests_ = kNone;                           // WinSxS\Manifests, long profile
  std::vector<uint32_t> plainFiles_;                     // candidates for hard links
  std::unordered_set<std::u16string> taken_;             // folded name + parent, per folder
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
  if (folderIndex_.size() <= id) folderIndex_.resize(size_t(id) + 1, kNone);
  folderIndex_[id] = uint32_t(folders_.size());
  if (long_) regions_[RegionOf(theme)].push_back(uint32_t(folders_.size()));
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
      return Word();
    case 3:
      return Word() + Separator(r_) + Word();
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
      if (r_.PerMille(400)) return Date(r_, u'-') + u" " + Word();
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
  if (pick < 8) return Word() + Separator(r_) + Date(r_, r_.PerMille(500) ? u'-' : 0);
  if (pick < 14) return Word() + u" (" + Number(r_.Between(1, 9), 0) + u")";
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
      return Word() + Separator(r_) + Number(r_.Below(100000), 0);
    case Theme::Video:
      if (r_.PerMille(500)) return u"VID_" + Date(r_, 0) + u"_" + Number(r_.Below(1000000), 6);
      return Word() + u" S01E" + Number(serial % 24 + 1, 2);
    default:
      if (r_.PerMille(300)) return Word() + Separator(r_) + Word();
      return Word() + Separator(r_) + Number(serial, r_.Below(4));
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
    s += Word();
  }
  CutTo(s, length);
  TrimEnd(s);
  while (s.size() < length) s += u'_';  // lands exactly on the length asked for
  return s;
}

void Builder::AddFile(const FolderInfo& f, uint32_t serial) {
  std::u16string name;
  ExtInfo bits{};
  const ExtInfo* ext = &bits;
  if (long_ && IsSystemTheme(f.theme)) {
    name = SystemFile(f.theme, bits);
  } else {
    uint32_t pick = r_.Below(1000);
    ext = &Extension(f.theme);
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
      name = u"$" + Word() + u"." + std::u16string(ext->ext);
    } else if (pick < 60) {
      name = FileStem(f.theme, serial) + u"." + std::u16string(ext->ext);
      for (char16_t& c : name) c = (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
    } else {
      name = FileStem(f.theme, serial) + u"." + std::u16string(ext->ext);
    }
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
      r_.PerMille(500) ? nodes_[target].name : Word() + u" 링크 " + nodes_[target].name;
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
  switch (long_ && IsSystemTheme(f.theme) ? Theme::Count : f.theme) {
    case Theme::Count:
      n = LongBurst(f.theme);
      break;
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
      Add(f.node, Word() + u" 조각.bin", false, r_.Between(1, 4) << 20, kFragmented);
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
  if (long_) {
    LongSkeleton();
  } else {
    uint32_t tops =
        std::min<uint32_t>(uint32_t(kTopFolders.size()), std::max<uint32_t>(1, count_ / 20));
    uint32_t first = r_.Below(uint32_t(kTopFolders.size()));
    for (uint32_t i = 0; i < tops && Room(1); ++i) {
      const TopFolder& t = kTopFolders[(first + i) % kTopFolders.size()];
      AddFolder(root, std::u16string(t.name), t.theme);
    }
  }
  if (count_ >= 200 && Room(3)) {
    // The recycle bin holds "$"-prefixed names that listings leave out; it
    // is no folder of the walk, so nothing else goes in there.
    uint32_t bin = Add(kRoot, u"$RECYCLE.BIN", true, 0, 0);
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
    uint32_t sub = long_ ? LongSubfolderChance(f) : SubfolderChance(f.depth);
    if (long_ && pick < sub) {
      LongSubfolder(f);
      cursor = folders_.size() - 1;
    } else if (pick < sub) {
      Theme t = r_.PerMille(60) ? Theme(r_.Below(uint32_t(Theme::Count))) : f.theme;
      AddFolder(f, FolderName(t, f.depth + 1), t);
      cursor = folders_.size() - 1;
    } else if (pick < sub + 30) {
      FileBurst(f);
    } else if (pick < sub + 50) {
      // Up one level.
      if (nodes_[f.node].parent != kRoot) cursor = folderIndex_[nodes_[f.node].parent];
    } else {
      cursor = long_ ? LongJump() : r_.Below(uint32_t(folders_.size()));
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

struct SkeletonFolder {
  int parent;  // earlier row, or -1 for the root
  W name;
  Theme theme;
};
// Rows in the order a small tree takes them: the first ones matter most.
constexpr std::array kSkeleton = {
    SkeletonFolder{-1, u"Windows", Theme::System},
    SkeletonFolder{0, u"System32", Theme::System},
    SkeletonFolder{0, u"WinSxS", Theme::SxsRoot},
    SkeletonFolder{-1, u"Users", Theme::Misc},
    SkeletonFolder{3, u"minjun", Theme::Misc},
    SkeletonFolder{4, u"Documents", Theme::Docs},
    SkeletonFolder{-1, u"Program Files", Theme::Programs},
    SkeletonFolder{6, u"WindowsApps", Theme::Packages},
    SkeletonFolder{2, u"Manifests", Theme::Manifests},
    SkeletonFolder{4, u"AppData", Theme::AppData},
    SkeletonFolder{9, u"Local", Theme::AppData},
    SkeletonFolder{4, u"Pictures", Theme::Photos},
    SkeletonFolder{1, u"DriverStore", Theme::System},
    SkeletonFolder{12, u"FileRepository", Theme::DriverStore},
    SkeletonFolder{0, u"Prefetch", Theme::Prefetch},
    SkeletonFolder{0, u"Logs", Theme::Logs},
    SkeletonFolder{1, u"ko-KR", Theme::Locale},
    SkeletonFolder{1, u"catroot", Theme::System},
    SkeletonFolder{17, u"{F750E6C3-38EE-11D1-85E5-00C04FC295EE}", Theme::Catalogs},
    SkeletonFolder{-1, u"ProgramData", Theme::AppData},
    SkeletonFolder{-1, u"Program Files (x86)", Theme::Programs},
    SkeletonFolder{4, u"Downloads", Theme::Downloads},
    SkeletonFolder{4, u"Music", Theme::Music},
    SkeletonFolder{4, u"Videos", Theme::Video},
    SkeletonFolder{4, u"source", Theme::Code},
    SkeletonFolder{4, u"Desktop", Theme::Misc},
    SkeletonFolder{9, u"Roaming", Theme::AppData},
    SkeletonFolder{0, u"SysWOW64", Theme::System},
    SkeletonFolder{1, u"en-US", Theme::Locale},
    SkeletonFolder{0, u"servicing", Theme::System},
    SkeletonFolder{29, u"Packages", Theme::Catalogs},
    SkeletonFolder{4, u"Saved Games", Theme::Game},
    SkeletonFolder{10, u"Packages", Theme::Packages},
};

constexpr std::array kDriverStems = {
    W(u"netrtwlane"), W(u"nvlddmkm"), W(u"iaStorAC"), W(u"hdaudio"),   W(u"usbxhci"),
    W(u"rt640x64"),   W(u"e1d68x64"), W(u"bth"),      W(u"btha2dp"),   W(u"kbdhid"),
    W(u"mouhid"),     W(u"wdmaudio"), W(u"nvhda"),    W(u"igdlh64"),   W(u"ibtusb"),
    W(u"heci"),       W(u"iastorvd"), W(u"tpm"),      W(u"acpi"),      W(u"monitor"),
    W(u"display"),    W(u"prnms001"), W(u"ntprint"),  W(u"rtkfilter"), W(u"intelppm"),
};

void Builder::LongSkeleton() {
  std::array<uint32_t, kSkeleton.size()> placed{};
  const uint32_t rows = std::min<uint32_t>(uint32_t(kSkeleton.size()), std::max(1u, count_ / 20));
  for (uint32_t i = 0; i < rows && Room(1); ++i) {
    const SkeletonFolder& s = kSkeleton[i];
    FolderInfo parent{kRoot, 0, Theme::Misc};
    if (s.parent >= 0) parent = folders_[placed[size_t(s.parent)]];
    placed[i] = uint32_t(folders_.size());
    uint32_t id = AddFolder(parent, std::u16string(s.name), s.theme);
    if (s.theme == Theme::Manifests) manifests_ = id;
  }
}

size_t Builder::LongJump() {
  uint32_t total = 0;
  for (int g = 0; g < kRegions; ++g)
    if (!regions_[size_t(g)].empty()) total += kRegionWeight[size_t(g)];
  uint32_t at = r_.Below(total);
  for (int g = 0; g < kRegions; ++g) {
    const std::vector<uint32_t>& region = regions_[size_t(g)];
    if (region.empty()) continue;
    if (at < kRegionWeight[size_t(g)]) return region[r_.Below(uint32_t(region.size()))];
    at -= kRegionWeight[size_t(g)];
  }
  return r_.Below(uint32_t(folders_.size()));
}

uint32_t Builder::LongSubfolderChance(const FolderInfo& f) const {
  switch (f.theme) {
    case Theme::SxsRoot:
      return 80;
    case Theme::DriverStore:
      return 70;
    case Theme::Packages:
      return 60;
    case Theme::Component:
      return 2;
    case Theme::AppPackage:
      return f.depth < 6 ? 25 : 0;
    case Theme::System:
      return f.depth < 5 ? 12 : 0;
    case Theme::Logs:
      return f.depth < 4 ? 15 : 0;
    case Theme::Manifests:
    case Theme::Catalogs:
    case Theme::Prefetch:
    case Theme::Locale:
    case Theme::Driver:
      return 0;
    default:
      return SubfolderChance(f.depth);
  }
}

void Builder::LongSubfolder(const FolderInfo& f) {
  Theme t = f.theme;
  std::u16string name;
  switch (f.theme) {
    case Theme::SxsRoot: {
      // Every component has its manifest, named after it, in one flat folder.
      uint32_t id = AddFolder(f, ComponentName(r_), Theme::Component);
      if (manifests_ != kNone && Room(1))
        Add(manifests_, nodes_[id].name + u".manifest", false, r_.Between(600, 60000), 0);
      return;
    }
    case Theme::Packages:
      name = PackageName(r_);
      t = Theme::AppPackage;
      break;
    case Theme::DriverStore:
      name = std::u16string(r_.Pick(kDriverStems)) + u".inf_" +
             (r_.PerMille(850) ? u"amd64" : u"x86") + u'_' + Hex(r_, 16);
      t = Theme::Driver;
      break;
    case Theme::Component: {
      constexpr std::array k = {W(u"f"), W(u"r"), W(u"n")};
      name = std::u16string(r_.Pick(k));
      break;
    }
    case Theme::AppPackage: {
      constexpr std::array k = {W(u"Assets"), W(u"Images"), W(u"resources"),
                                W(u"js"),     W(u"css"),    W(u"Microsoft.UI.Xaml"),
                                W(u"en-us"),  W(u"ko-kr"),  W(u"AppxMetadata"),
                                W(u"Fonts"),  W(u"Views"),  W(u"Controls")};
      name = std::u16string(r_.Pick(k));
      break;
    }
    case Theme::System:
      if (r_.PerMille(200)) {
        name = std::u16string(r_.Pick(kLocales));
        t = Theme::Locale;
      } else {
        constexpr std::array k = {W(u"drivers"),  W(u"wbem"),   W(u"WindowsPowerShell"),
                                  W(u"Tasks"),    W(u"config"), W(u"spool"),
                                  W(u"LogFiles"), W(u"WDI"),    W(u"Microsoft"),
                                  W(u"Speech"),   W(u"oobe"),   W(u"migration"),
                                  W(u"IME"),      W(u"Setup"),  W(u"CodeIntegrity")};
        name = std::u16string(r_.Pick(k));
      }
      break;
    case Theme::Logs: {
      constexpr std::array k = {W(u"CBS"),      W(u"DISM"),      W(u"WindowsUpdate"),
                                W(u"SIH"),      W(u"waasmedic"), W(u"NetSetup"),
                                W(u"MoSetup"),  W(u"SetupDiag"), W(u"WMI"),
                                W(u"RtBackup"), W(u"winevt")};
      name = std::u16string(r_.Pick(k));
      break;
    }
    case Theme::Programs:
      if (r_.PerMille(150)) {
        name = Number(r_.Between(1, 130), 0) + u'.' + Number(r_.Below(10), 0) + u'.' +
               Number(r_.Below(7000), 0) + u'.' + Number(r_.Below(300), 0);
      } else {
        constexpr std::array k = {W(u"Common Files"),
                                  W(u"Microsoft Office"),
                                  W(u"root"),
                                  W(u"Office16"),
                                  W(u"Google"),
                                  W(u"Chrome"),
                                  W(u"Application"),
                                  W(u"Mozilla Firefox"),
                                  W(u"NVIDIA Corporation"),
                                  W(u"Adobe"),
                                  W(u"Acrobat DC"),
                                  W(u"Hnc"),
                                  W(u"7-Zip"),
                                  W(u"Git"),
                                  W(u"usr"),
                                  W(u"bin"),
                                  W(u"share"),
                                  W(u"dotnet"),
                                  W(u"shared"),
                                  W(u"Microsoft.NETCore.App"),
                                  W(u"Windows Defender"),
                                  W(u"Windows NT"),
                                  W(u"WindowsPowerShell"),
                                  W(u"Modules"),
                                  W(u"Microsoft Visual Studio"),
                                  W(u"Community"),
                                  W(u"Common7"),
                                  W(u"IDE"),
                                  W(u"Extensions"),
                                  W(u"KakaoTalk"),
                                  W(u"Locales"),
                                  W(u"plugins"),
                                  W(u"resources"),
                                  W(u"x64")};
        name = std::u16string(r_.Pick(k));
      }
      break;
    case Theme::AppData:
      if (r_.PerMille(100)) {
        name = u'{' + Hex(r_, 8, true) + u'-' + Hex(r_, 4, true) + u'-' + Hex(r_, 4, true) + u'-' +
               Hex(r_, 4, true) + u'-' + Hex(r_, 12, true) + u'}';
      } else if (r_.PerMille(90)) {
        name = u"node_modules";
        t = Theme::NodeModules;
      } else {
        constexpr std::array k = {W(u"Microsoft"),  W(u"Google"),        W(u"Chrome"),
                                  W(u"User Data"),  W(u"Default"),       W(u"Cache"),
                                  W(u"Cache_Data"), W(u"Code Cache"),    W(u"GPUCache"),
                                  W(u"IndexedDB"),  W(u"Local Storage"), W(u"leveldb"),
                                  W(u"Temp"),       W(u"Programs"),      W(u"Microsoft VS Code"),
                                  W(u"Code"),       W(u"User"),          W(u"workspaceStorage"),
                                  W(u"CrashDumps"), W(u"D3DSCache"),     W(u"npm-cache"),
                                  W(u"_cacache"),   W(u"Kakao"),         W(u"Mozilla"),
                                  W(u"Firefox"),    W(u"Profiles"),      W(u"Spotify"),
                                  W(u"Discord"),    W(u"Notion"),        W(u"Obsidian"),
                                  W(u"Windows"),    W(u"INetCache")};
        name = std::u16string(r_.Pick(k));
      }
      break;
    case Theme::NodeModules: {
      constexpr std::array k = {W(u"lodash"),  W(u"react"),     W(u"react-dom"),  W(u"@babel"),
                                W(u"core"),    W(u"types"),     W(u"typescript"), W(u"webpack"),
                                W(u"eslint"),  W(u"chalk"),     W(u"debug"),      W(u"semver"),
                                W(u"glob"),    W(u"minimatch"), W(u"yargs"),      W(u"commander"),
                                W(u"express"), W(u"axios"),     W(u"uuid"),       W(u"@types"),
                                W(u"node"),    W(u"lib"),       W(u"dist"),       W(u"src"),
                                W(u"esm"),     W(u"cjs"),       W(u"bin")};
      name = std::u16string(r_.Pick(k));
      break;
    }
    case Theme::Manifests:
    case Theme::Catalogs:
    case Theme::Prefetch:
    case Theme::Locale:
    case Theme::Driver:
      name = u"Backup";
      break;
    default:
      // The user's own folders, as on a data volume.
      t = r_.PerMille(60) ? Theme(r_.Below(uint32_t(Theme::Count))) : f.theme;
      name = FolderName(t, f.depth + 1);
      break;
  }
  AddFolder(f, std::move(name), t);
}

uint32_t Builder::LongBurst(Theme t) {
  switch (t) {
    case Theme::Manifests:
      return r_.Between(20, 120);
    case Theme::Catalogs:
      return r_.Between(10, 80);
    case Theme::System:
      return r_.Between(10, 120);
    case Theme::Locale:
      return r_.Between(10, 60);
    case Theme::Prefetch:
      return r_.Between(5, 40);
    case Theme::Driver:
      return r_.Between(2, 8);
    case Theme::Component:
      return r_.Between(2, 12);
    case Theme::AppPackage:
    case Theme::Programs:
      return r_.Between(2, 30);
    case Theme::Logs:
      return r_.Between(2, 20);
    case Theme::AppData:
      return r_.Between(1, 25);
    case Theme::NodeModules:
      return r_.Between(1, 10);
    default:
      return r_.Between(1, 3);
  }
}

std::u16string Builder::SystemFile(Theme t, ExtInfo& bits) {
  auto sized = [&](uint8_t lo, uint8_t hi) {
    bits.minBits = lo;
    bits.maxBits = hi;
  };
  switch (t) {
    case Theme::Manifests:
      sized(10, 15);
      return ComponentName(r_) + u".manifest";
    case Theme::Catalogs: {
      sized(10, 17);
      const std::u16string tail = u"~31bf3856ad364e35~amd64~~" + WindowsVersion(r_);
      if (r_.PerMille(500))
        return u"Package_" + Number(r_.Between(1, 300), 0) + u"_for_KB" +
               Number(r_.Between(4000000, 5099999), 7) + tail + u".cat";
      return u"Microsoft-Windows-" + PascalRun(r_, 1, 3, u"-") + u"-Package" + tail +
             (r_.PerMille(500) ? u".cat" : u".mum");
    }
    case Theme::Locale:
      sized(10, 18);
      return SystemBinary(r_) + u".mui";
    case Theme::Driver: {
      sized(10, 22);
      constexpr std::array k = {W(u".inf"), W(u".sys"), W(u".cat"),
                                W(u".dll"), W(u".PNF"), W(u".bin")};
      return std::u16string(r_.Pick(kDriverStems)) + std::u16string(r_.Pick(kSysSuffixes)) +
             std::u16string(r_.Pick(k));
    }
    case Theme::Prefetch:
      sized(12, 18);
      return Upper(std::u16string(r_.Pick(kSysStems)) + std::u16string(r_.Pick(kSysSuffixes))) +
             u".EXE-" + Hex(r_, 8, true) + u".pf";
    case Theme::Logs: {
      sized(10, 22);
      uint32_t p = r_.Below(100);
      if (p < 35) return u"Microsoft-Windows-" + PascalRun(r_, 1, 3, u"-") + u"%4Operational.evtx";
      if (p < 60)
        return PascalRun(r_, 1, 2, u"") + u'.' + Date(r_, 0) + u'.' + Number(r_.Below(240000), 6) +
               u'.' + Number(r_.Below(1000), 3) + u".etl";
      if (p < 85) {
        constexpr std::array k = {W(u"setupact"), W(u"setuperr"),     W(u"CBS"),
                                  W(u"dism"),     W(u"MoSetup"),      W(u"ReportingEvents"),
                                  W(u"msert"),    W(u"PFRO"),         W(u"DirectX"),
                                  W(u"netsetup"), W(u"WindowsUpdate")};
        return std::u16string(r_.Pick(k)) + u'.' + Date(r_, 0) + u".log";
      }
      return u"Telemetry." + Hex(r_, 8) + u".json";
    }
    case Theme::AppPackage: {
      sized(8, 20);
      uint32_t p = r_.Below(100);
      if (p < 45) {
        constexpr std::array k = {
            W(u"Square44x44Logo"), W(u"Square150x150Logo"), W(u"Wide310x150Logo"), W(u"LargeTile"),
            W(u"SmallTile"),       W(u"StoreLogo"),         W(u"SplashScreen"),    W(u"BadgeLogo"),
            W(u"LockScreenLogo"),  W(u"AppList"),           W(u"MedTile")};
        constexpr std::array alt = {W(u""),
                                    W(u""),
                                    W(u"_altform-unplated"),
                                    W(u"_altform-lightunplated"),
                                    W(u"_contrast-black"),
                                    W(u"_contrast-white")};
        std::u16string s(r_.Pick(k));
        if (r_.PerMille(500))
          s += u".scale-" + Number(r_.Between(1, 4) * 25 + 75, 0);
        else
          s += u".targetsize-" + Number(r_.Between(1, 16) * 16, 0);
        return s + std::u16string(r_.Pick(alt)) + u".png";
      }
      if (p < 65) {
        constexpr std::array k = {W(u"main"), W(u"vendor"), W(u"runtime"), W(u"polyfills"),
                                  W(u"app"),  W(u"common"), W(u"chunk")};
        constexpr std::array e = {W(u".bundle.js"), W(u".chunk.js"), W(u".js"), W(u".css"),
                                  W(u".json")};
        return std::u16string(r_.Pick(k)) + u'.' + Hex(r_, 8) + std::u16string(r_.Pick(e));
      }
      if (p < 90) return SystemBinary(r_);
      constexpr std::array k = {W(u"AppxManifest.xml"), W(u"AppxBlockMap.xml"),
                                W(u"AppxSignature.p7x"), W(u"resources.pri")};
      return std::u16string(r_.Pick(k));
    }
    case Theme::Programs: {
      sized(10, 24);
      uint32_t p = r_.Below(100);
      if (p < 35) {
        constexpr std::array k = {W(u"System."),
                                  W(u"Microsoft."),
                                  W(u"Microsoft.Extensions."),
                                  W(u"Microsoft.VisualStudio."),
                                  W(u"Microsoft.AspNetCore."),
                                  W(u"Newtonsoft."),
                                  W(u"Azure.")};
        constexpr std::array e = {W(u".dll"), W(u".dll"), W(u".xml"), W(u".pdb")};
        return std::u16string(r_.Pick(k)) + PascalRun(r_, 1, 3, u".") + std::u16string(r_.Pick(e));
      }
      if (p < 60) {
        constexpr std::array k = {W(u"libcrypto-3-x64"), W(u"libssl-3-x64"), W(u"vcruntime140"),
                                  W(u"msvcp140"),        W(u"concrt140"),    W(u"vcruntime140_1"),
                                  W(u"libcurl"),         W(u"zlib1"),        W(u"libiconv-2"),
                                  W(u"libgcc_s_seh-1"),  W(u"sqlite3"),      W(u"ffmpeg"),
                                  W(u"d3dcompiler_47"),  W(u"libEGL"),       W(u"libGLESv2"),
                                  W(u"vk_swiftshader"),  W(u"chrome_elf"),   W(u"icudtl")};
        constexpr std::array e = {W(u".dll"), W(u".dll"), W(u".dat"), W(u".pak"), W(u".bin")};
        return std::u16string(r_.Pick(k)) + std::u16string(r_.Pick(e));
      }
      if (p < 75) return std::u16string(r_.Pick(kLocales)) + u".pak";
      constexpr std::array e = {W(u".exe"), W(u".json"),     W(u".config"),
                                W(u".ico"), W(u".manifest"), W(u".js")};
      return PascalRun(r_, 1, 3, u"") + std::u16string(r_.Pick(e));
    }
    case Theme::AppData: {
      sized(6, 20);
      uint32_t p = r_.Below(100);
      if (p < 12) return u"f_" + Hex(r_, 6);
      if (p < 37) return PascalRun(r_, 1, 2, u"") + u'.' + Hex(r_, 8) + u".json";
      if (p < 45) return Number(r_.Below(1000000), 6) + (r_.PerMille(500) ? u".log" : u".ldb");
      if (p < 60) {
        constexpr std::array k = {
            W(u"Preferences"), W(u"Cookies"), W(u"History"), W(u"Web Data"), W(u"Login Data"),
            W(u"LOG"),         W(u"LOG.old"), W(u"CURRENT"), W(u"LOCK"),     W(u"settings.json"),
            W(u"state.vscdb"), W(u"index"),   W(u"data_0"),  W(u"data_1"),   W(u"data_2")};
        return std::u16string(r_.Pick(k));
      }
      if (p < 72) return u"~DF" + Hex(r_, 4, true) + u".TMP";
      if (p < 86) return Word() + u'.' + (r_.PerMille(500) ? u"json" : u"log");
      return PascalRun(r_, 1, 2, u"") + u'.' + Hex(r_, 8) + u".json";
    }
    case Theme::NodeModules: {
      sized(6, 16);
      uint32_t p = r_.Below(100);
      if (p < 40) {
        constexpr std::array k = {W(u"index.js"),      W(u"package.json"), W(u"README.md"),
                                  W(u"LICENSE"),       W(u"CHANGELOG.md"), W(u"index.d.ts"),
                                  W(u"tsconfig.json"), W(u".npmignore")};
        return std::u16string(r_.Pick(k));
      }
      constexpr std::array e = {W(u".js"),     W(u".js"),  W(u".d.ts"),
                                W(u".js.map"), W(u".mjs"), W(u".cjs")};
      // camelCase: isArrayLike.js
      std::u16string s = Lower(std::u16string(r_.Pick(kPascal)));
      if (r_.PerMille(600)) s += r_.Pick(kPascal);
      return s + std::u16string(r_.Pick(e));
    }
    default: {  // components, the system folders and their roots
      sized(12, 22);
      uint32_t p = r_.Below(100);
      if (p < 75) return SystemBinary(r_);
      if (p < 85) return SystemBinary(r_) + u".mui";
      constexpr std::array e = {W(u".xml"), W(u".inf"),  W(u".mof"), W(u".ini"),
                                W(u".png"), W(u".json"), W(u".dat")};
      return PascalRun(r_, 1, 2, u"") + std::u16string(r_.Pick(e));
    }
  }
}

}  // namespace

namespace {

// Some Hangul names as users' files hold them: a few percent decomposed into
// jamo (copied from a Mac), fewer written with leading consonants alone
// (ㅂㄱㅅ). Chosen by a hash of the seed and the node after the tree is made,
// so every other name of a seed stays as it was; a changed name that would
// be too long or meet another name of its folder stays as it was.
void WriteSomeHangulAsUsersDo(std::vector<Node>& nodes, uint64_t seed) {
  constexpr std::u16string_view kLetters = u"ㄱㄲㄴㄷㄸㄹㅁㅂㅃㅅㅆㅇㅈㅉㅊㅋㅌㅍㅎ";
  auto folded = [](uint32_t parent, const std::u16string& name) {
    std::u16string key(2, u'\0');
    key[0] = char16_t(parent >> 16);
    key[1] = char16_t(parent);
    for (char16_t c : name) key += Upcase(c);
    return key;
  };
  std::vector<std::pair<uint32_t, std::u16string>> changes;
  for (uint32_t i = 0; i < nodes.size(); ++i) {
    const std::u16string& name = nodes[i].name;
    if (std::none_of(name.begin(), name.end(),
                     [](char16_t c) { return c >= 0xAC00 && c <= 0xD7A3; }))
      continue;
    Rng look{seed ^ (uint64_t{i} * 0x9E3779B97F4A7C15ull) ^ 0x6A09E667F3BCC908ull};
    const uint32_t p = look.Below(1000);
    if (p >= 60) continue;
    std::u16string out;
    for (char16_t c : name) {
      if (c < 0xAC00 || c > 0xD7A3) {
        out += c;
      } else if (const uint32_t s = c - 0xAC00u; p >= 40) {
        out += kLetters[s / 588];
      } else {
        out += char16_t(0x1100 + s / 588);
        out += char16_t(0x1161 + s % 588 / 28);
        if (s % 28 != 0) out += char16_t(0x11A7 + s % 28);
      }
    }
    if (out.size() <= 255) changes.emplace_back(i, std::move(out));
  }
  // A new name may meet a name of its folder, or another new name.
  std::unordered_map<std::u16string, uint32_t> wanted;
  for (const auto& [i, name] : changes) ++wanted[folded(nodes[i].parent, name)];
  for (const Node& n : nodes) {
    auto it = wanted.find(folded(n.parent, n.name));
    if (it != wanted.end()) it->second += 2;
  }
  for (auto& [i, name] : changes) {
    if (wanted[folded(nodes[i].parent, name)] == 1) nodes[i].name = std::move(name);
  }
}

}  // namespace

std::vector<Node> MakeTree(uint64_t seed, uint32_t count, Profile profile) {
  std::vector<Node> nodes = Builder(seed, count, profile).Run();
  WriteSomeHangulAsUsersDo(nodes, seed);
  return nodes;
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
