// Options and drive selection over both registry stores: the in-memory one,
// and the POSIX store file (atomic rewrite, damaged files kept aside).
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/debug_output.h"
#include "platform/registry.h"
#include "platform/registry_file.h"
#include "settings/settings.h"
#include "support/memory_registry.h"
#include "support/test_paths.h"
#include "volumes/drive_info.h"

namespace zw {
namespace {

using namespace platform;
namespace fs = std::filesystem;

// Every case runs on the in-memory store and on the system's store: the
// store file in a scratch folder on POSIX, the real registry on Windows
// (under Wine, a throwaway prefix).
class SettingsStore : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) {
      UseMemoryRegistry(true);
      return;
    }
#ifdef _WIN32
    RegistryKey existing;
    if (existing.OpenForRead(kSettingsKeyPath) == kErrorSuccess)
      GTEST_SKIP() << "this user has settings of their own; they are left alone";
    created_ = true;
#else
    const std::string dir = test::ScratchDir(
        std::string("store_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    SetRegistryDirectory(dir);
#endif
  }
  void TearDown() override {
    if (GetParam()) {
      UseMemoryRegistry(false);
      return;
    }
#ifdef _WIN32
    if (created_) {
      const uint32_t removed = DeleteRegistryTree(kSettingsKeyPath);
      EXPECT_TRUE(removed == kErrorSuccess || removed == kErrorFileNotFound) << removed;
    }
#else
    SetRegistryDirectory("");
#endif
  }
  bool created_ = false;

  static void PutRaw(std::u16string_view name, uint32_t type, const std::string& bytes) {
    RegistryKey key;
    ASSERT_EQ(key.OpenForWrite(kSettingsKeyPath), kErrorSuccess);
    ASSERT_EQ(key.Set(name, type, bytes.data(), uint32_t(bytes.size())), kErrorSuccess);
  }
  static std::string Utf16Bytes(std::u16string_view text, bool nul) {
    std::string out;
    for (char16_t c : text) out += {char(c & 0xFF), char(c >> 8)};
    if (nul) out += std::string(2, '\0');
    return out;
  }
};

TEST_P(SettingsStore, NoKeyGivesEveryDefaultAndWritesNothing) {
  EXPECT_TRUE(ReadFlag(kProgressiveSearch, kDefaultProgressiveSearch));
  EXPECT_FALSE(ReadFlag(kParallelSearch, kDefaultParallelSearch));
  EXPECT_EQ(ReadSortColumn(), 0u);
  EXPECT_FALSE(ReadFlag(kSortDescending, kDefaultSortDescending));
  EXPECT_TRUE(ReadFlag(kFoldersFirst, kDefaultFoldersFirst));
  EXPECT_TRUE(ReadFlag(kFastSearch, kDefaultFastSearch));
  EXPECT_FALSE(ReadFlag(kSearchDebounce, kDefaultSearchDebounce));
  EXPECT_TRUE(ReadFlag(kFastIcons, kDefaultFastIcons));
  EXPECT_TRUE(LoadSelectedDrives().empty());
  RegistryKey key;
  EXPECT_EQ(key.OpenForRead(kSettingsKeyPath), kErrorFileNotFound);
}

TEST_P(SettingsStore, DwordsRoundTripAndWrongTypesReadAsDefault) {
  EXPECT_TRUE(WriteDword(kFoldersFirst, 0));
  EXPECT_FALSE(ReadFlag(kFoldersFirst, kDefaultFoldersFirst));
  EXPECT_TRUE(WriteDword(kFoldersFirst, 1));
  EXPECT_TRUE(ReadFlag(kFoldersFirst, kDefaultFoldersFirst));
  EXPECT_TRUE(WriteDword(kSortColumn, 3));
  EXPECT_EQ(ReadSortColumn(), 3u);
  EXPECT_TRUE(WriteDword(kSortColumn, 7));
  EXPECT_EQ(ReadSortColumn(), 0u);

  // Four bytes of text are not a DWORD, even though they would fit one.
  PutRaw(kFastSearch, kRegSz, Utf16Bytes(u"0", true));
  EXPECT_EQ(ReadDword(kFastSearch, 1), 1u);
  PutRaw(kSortDescending, kRegBinary, std::string("\1\0\0\0", 4));
  EXPECT_EQ(ReadDword(kSortDescending, 0), 0u);
  PutRaw(kParallelSearch, kRegDword, std::string("\1\0", 2));  // short DWORD
  EXPECT_EQ(ReadDword(kParallelSearch, 0), 0u);

  // Names compare without ASCII case, as in the Windows registry.
  EXPECT_TRUE(WriteDword(u"searchdebounce", 5));
  EXPECT_EQ(ReadDword(kSearchDebounce, 0), 5u);
}

TEST_P(SettingsStore, SelectedDrivesParseAndSave) {
  PutRaw(kSelectedDrives, kRegSz, Utf16Bytes(u"d,C,x", true));
  EXPECT_EQ(LoadSelectedDrives(), (std::set<char16_t>{u'C', u'D', u'X'}));
  EXPECT_TRUE(SaveSelectedDrives({u'X', u'C', u'D'}));
  RegistryKey key;
  ASSERT_EQ(key.OpenForRead(kSettingsKeyPath), kErrorSuccess);
  std::u16string text;
  uint32_t type = 0, size = 0;
  ASSERT_EQ(key.QueryString(kSelectedDrives, text), kErrorSuccess);
  EXPECT_EQ(text, u"C,D,X");
  ASSERT_EQ(key.Query(kSelectedDrives, &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, 12u);  // five characters and the NUL

  EXPECT_TRUE(SaveSelectedDrives({}));
  EXPECT_TRUE(LoadSelectedDrives().empty());

  // Duplicates collapse; digits, spaces and other letters' cases are handled.
  PutRaw(kSelectedDrives, kRegExpandSz, Utf16Bytes(u"e;E 9,z", true));
  EXPECT_EQ(LoadSelectedDrives(), (std::set<char16_t>{u'E', u'Z'}));
}

TEST_P(SettingsStore, MalformedSelectedDrivesReadAsEmpty) {
  {
    // No terminating NUL. Windows adds one to the count when the character
    // after the data is a NUL ("the user forgot it"), so one that is not follows.
    const std::string bytes = Utf16Bytes(u"C,DX", false);
    RegistryKey key;
    ASSERT_EQ(key.OpenForWrite(kSettingsKeyPath), kErrorSuccess);
    ASSERT_EQ(key.Set(kSelectedDrives, kRegSz, bytes.data(), 6), kErrorSuccess);
  }
  EXPECT_TRUE(LoadSelectedDrives().empty());
  PutRaw(kSelectedDrives, kRegSz, Utf16Bytes(u"C,D", true) + std::string(1, '\0'));  // odd size
  EXPECT_TRUE(LoadSelectedDrives().empty());
  PutRaw(kSelectedDrives, kRegDword, std::string("CD\0\0", 4));
  EXPECT_TRUE(LoadSelectedDrives().empty());
  PutRaw(kSelectedDrives, kRegSz, "");  // an empty value is an empty list
  EXPECT_TRUE(LoadSelectedDrives().empty());

  std::u16string longest(511, u'Q');
  PutRaw(kSelectedDrives, kRegSz, Utf16Bytes(longest, true));
  EXPECT_EQ(LoadSelectedDrives(), std::set<char16_t>{u'Q'});
  PutRaw(kSelectedDrives, kRegSz, Utf16Bytes(longest + u"R", true));  // does not fit
  EXPECT_TRUE(LoadSelectedDrives().empty());
}

// The first-run rule adds the fixed NTFS drives (none on POSIX here, since no
// drive is bound; Wine reports its own) and marks the first run done.
TEST_P(SettingsStore, InitialDriveSetAndFirstRun) {
  std::set<char16_t> fixedNtfs;
  for (const DriveInfo& d : EnumerateNtfsDrives()) fixedNtfs.insert(d.letter);
  EXPECT_EQ(InitialDriveSet(NtfsDriveLetters), fixedNtfs);
  EXPECT_EQ(ReadDword(kFirstRunComplete, 0), 1u);
  RegistryKey key;
  ASSERT_EQ(key.OpenForRead(kSettingsKeyPath), kErrorSuccess);
  uint32_t type = 0, size = 0;
  EXPECT_EQ(key.Query(kSelectedDrives, &type, nullptr, &size), kErrorFileNotFound);
  key.Close();

  PutRaw(kSelectedDrives, kRegSz, Utf16Bytes(u"D,X", true));
  EXPECT_EQ(InitialDriveSet(NtfsDriveLetters), (std::set<char16_t>{u'D', u'X'}));

  // FirstRunComplete of another type counts as not done: the set is extended
  // and the flag is written again as a DWORD.
  PutRaw(kFirstRunComplete, kRegSz, Utf16Bytes(u"1", true));
  std::set<char16_t> extended = fixedNtfs;
  extended.insert({u'D', u'X'});
  EXPECT_EQ(InitialDriveSet(NtfsDriveLetters), extended);
  EXPECT_EQ(ReadDword(kFirstRunComplete, 0), 1u);
}

TEST_P(SettingsStore, RawQueryFollowsRegistryRules) {
  RegistryKey key;
  ASSERT_EQ(key.OpenForWrite(kSettingsKeyPath), kErrorSuccess);
  ASSERT_EQ(key.SetString(u"Text", u"abc"), kErrorSuccess);
  uint32_t type = 0, size = 4;
  char small[4];
  EXPECT_EQ(key.Query(u"Text", &type, small, &size), kErrorMoreData);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(key.Delete(u"Text"), kErrorSuccess);
  EXPECT_EQ(key.Query(u"Text", &type, nullptr, &size), kErrorFileNotFound);

  RegistryKey reader;
  ASSERT_EQ(reader.OpenForRead(kSettingsKeyPath), kErrorSuccess);
  EXPECT_EQ(reader.SetDword(u"X", 1), kErrorAccessDenied);
  EXPECT_EQ(RegistryKey().SetDword(u"X", 1), kErrorInvalidHandle);
}

INSTANTIATE_TEST_SUITE_P(Stores, SettingsStore, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Memory" : "System"; });

// The POSIX store file, in a scratch folder (never the user's ~/.config).
class FileSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    SetRegistryDirectory(dir_);
    TakeRegistryDamageNotice();
  }
  void TearDown() override { SetRegistryDirectory(""); }

  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string ReadStore() { return Slurp(dir_ + "/registry"); }
  void WriteStore(const std::string& text) {
    std::ofstream(dir_ + "/registry", std::ios::binary) << text;
  }
  // What a refused store must leave as it was, and must not be read from.
  static constexpr char kSortedBySize[] =
      "Zanderwyn registry 1\n[Software]\n[Software\\Zanderwyn]\n"
      "\"SortColumn\"=dword:00000002\nend\n";
  // Reading gives the defaults, writing fails, and one notice names `path`.
  void ExpectRefused(const std::string& path, const std::string& why) {
    EXPECT_EQ(ReadSortColumn(), 0u);
    EXPECT_FALSE(WriteDword(kSortColumn, 3));
    EXPECT_EQ(TakeRegistryRefusalNotice(), path + " " + why);
    EXPECT_EQ(ReadSortColumn(), 0u);
    EXPECT_EQ(TakeRegistryRefusalNotice(), "");  // once
  }

  std::string dir_;
};

#ifndef _WIN32
TEST_F(FileSettings, ValuesKeepTheirTypesAcrossTheFile) {
  ASSERT_TRUE(WriteDword(kSortColumn, 2));
  ASSERT_TRUE(SaveSelectedDrives({u'C', u'E'}));
  RegistryKey key;
  ASSERT_EQ(key.OpenForWrite(kSettingsKeyPath), kErrorSuccess);
  const std::string odd("\x01\x00\xff", 3);
  ASSERT_EQ(key.Set(u"Odd\u00e9\"\\", kRegBinary, odd.data(), 3), kErrorSuccess);
  const std::string noNul("A\0B\0", 4);
  ASSERT_EQ(key.Set(u"NoNul", kRegSz, noNul.data(), 4), kErrorSuccess);
  const std::u16string lone = {u'x', char16_t(0xD800), u'\n'};
  ASSERT_EQ(key.SetString(u"Lone", lone), kErrorSuccess);
  key.Close();

  const std::string text = ReadStore();
  EXPECT_NE(text.find("\"SortColumn\"=dword:00000002"), std::string::npos) << text;
  EXPECT_NE(text.find("\"SelectedDrives\"=sz:\"C,E\""), std::string::npos) << text;
  EXPECT_EQ(text.substr(text.size() - 4), "end\n");

  EXPECT_EQ(ReadSortColumn(), 2u);
  EXPECT_EQ(LoadSelectedDrives(), (std::set<char16_t>{u'C', u'E'}));
  RegistryKey again;
  ASSERT_EQ(again.OpenForRead(u"software\\ZANDERWYN"), kErrorSuccess);
  uint32_t type = 0;
  char buffer[8] = {};
  uint32_t size = sizeof buffer;
  ASSERT_EQ(again.Query(u"odd\u00e9\"\\", &type, buffer, &size), kErrorSuccess);
  EXPECT_EQ(type, kRegBinary);
  EXPECT_EQ(std::string(buffer, size), odd);
  size = sizeof buffer;
  ASSERT_EQ(again.Query(u"NoNul", &type, buffer, &size), kErrorSuccess);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(std::string(buffer, size), noNul);
  std::u16string back;
  ASSERT_EQ(again.QueryString(u"Lone", back), kErrorSuccess);
  EXPECT_EQ(back, lone);
  EXPECT_TRUE(LoadSelectedDrives() == (std::set<char16_t>{u'C', u'E'}));
  EXPECT_EQ(TakeRegistryDamageNotice(), "");
  // No temp file is left behind.
  for (const auto& e : fs::directory_iterator(dir_))
    EXPECT_EQ(e.path().filename().string().find("tmp"), std::string::npos);
}

TEST_F(FileSettings, TruncatedStoreReadsAsMissingAndIsKeptAside) {
  ASSERT_TRUE(WriteDword(kFoldersFirst, 0));
  ASSERT_TRUE(SaveSelectedDrives({u'D'}));
  std::string good = ReadStore();
  std::string cut = good.substr(0, good.size() - 5);  // loses the end line
  WriteStore(cut);

  EXPECT_TRUE(ReadFlag(kFoldersFirst, kDefaultFoldersFirst));  // default, not 0
  EXPECT_TRUE(LoadSelectedDrives().empty());
  const std::string notice = TakeRegistryDamageNotice();
  EXPECT_EQ(notice, dir_ + "/registry.damaged");
  EXPECT_EQ(TakeRegistryDamageNotice(), "");  // reported once

  std::ifstream kept(notice, std::ios::binary);
  std::stringstream s;
  s << kept.rdbuf();
  EXPECT_EQ(s.str(), cut);  // the damaged bytes survive untouched

  // The next write starts a fresh store beside the kept one.
  ASSERT_TRUE(WriteDword(kFastIcons, 0));
  EXPECT_FALSE(ReadFlag(kFastIcons, 1));
  EXPECT_TRUE(fs::exists(notice));

  // A second damaged file does not replace the first one kept aside.
  WriteStore("garbage\n");
  EXPECT_TRUE(ReadFlag(kFastIcons, 1));
  EXPECT_EQ(TakeRegistryDamageNotice(), dir_ + "/registry.damaged.1");
}

TEST_F(FileSettings, StrictParsingRejectsDamage) {
  platform::detail::RegistryDocument doc;
  const std::string head = "Zanderwyn registry 1\n[Software\\Zanderwyn]\n";
  EXPECT_TRUE(platform::detail::ParseRegistry(head + "\"A\"=dword:00000001\nend\n", doc));
  EXPECT_TRUE(platform::detail::ParseRegistry(head + "; note\n\n\"A\"=hex(3):\nend\n", doc));
  for (const std::string& bad : {
           head + "\"A\"=dword:1\nend\n",                               // short DWORD text
           head + "\"A\"=dword:00000001\n",                             // no end line
           head + "\"A\"=sz:\"x\nend\n",                                // open quote
           head + "\"A\"=hex(3):0g\nend\n",                             // bad hex
           head + "\"A\"=hex(3):01,\nend\n",                            // trailing comma
           head + "\"A\"=dword:00000001\nend\nx\n",                     // text after the end
           head + "\"A\"=sz:\"\xff\"\nend\n",                           // invalid UTF-8
           head + "\"A\"=dword:00000001\n\"a\"=dword:00000002\nend\n",  // duplicate name
           std::string("\"A\"=dword:00000001\nend\n"),                  // no header
           std::string(""),
       }) {
    EXPECT_FALSE(platform::detail::ParseRegistry(bad, doc)) << bad;
  }
  // A last line without its newline may have been cut short.
  EXPECT_FALSE(platform::detail::ParseRegistry(head + "\"A\"=dword:00000001\nend", doc));
}

TEST_F(FileSettings, UnwritableFolderFailsTheWriteAndKeepsReading) {
  ASSERT_TRUE(WriteDword(kSortColumn, 1));
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  // Root writes anywhere, but not past the file size limit.
  rlimit before{};
  getrlimit(RLIMIT_FSIZE, &before);
  rlimit tiny = before;
  tiny.rlim_cur = 16;
  void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
  if (geteuid() == 0) setrlimit(RLIMIT_FSIZE, &tiny);
  std::vector<std::u16string> lines;
  SetDebugSink([&](std::u16string_view line) { lines.emplace_back(line); });
  EXPECT_FALSE(WriteDword(kSortColumn, 2));
  EXPECT_FALSE(SaveSelectedDrives({u'C'}));
  SetDebugSink(nullptr);
  setrlimit(RLIMIT_FSIZE, &before);
  signal(SIGXFSZ, oldHandler);
  // Not lost: each failure is told to the debugger, naming the value.
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind(u"Settings: could not save SortColumn (error=", 0), 0u);
  EXPECT_EQ(lines[1].rfind(u"Settings: could not save SelectedDrives (error=", 0), 0u);
  EXPECT_EQ(ReadSortColumn(), 1u);
  fs::permissions(dir_, fs::perms::owner_all);
  for (const auto& e : fs::directory_iterator(dir_))  // no half-written file left
    EXPECT_EQ(e.path().filename().string().find("tmp"), std::string::npos);
}

// The window runs elevated, and root may run with another user's
// XDG_CONFIG_HOME (sudo -E): nothing there may lead reads or writes elsewhere.
TEST_F(FileSettings, SymbolicLinksAreRefusedAndTheirTargetsLeftAlone) {
  const std::string target = dir_ + "-target";
  fs::remove_all(target);
  fs::create_directories(target);
  std::ofstream(target + "/registry", std::ios::binary) << kSortedBySize;
  fs::create_symlink(target + "/registry", dir_ + "/registry");
  // Where a temporary file named after the process id would have gone.
  fs::create_symlink(target + "/registry", dir_ + "/registry.tmp-" + std::to_string(getpid()));
  ExpectRefused(dir_ + "/registry", "is a symbolic link");
  EXPECT_EQ(Slurp(target + "/registry"), kSortedBySize);
  EXPECT_TRUE(fs::is_symlink(dir_ + "/registry"));

  const std::string linked = dir_ + "-link";
  fs::remove(linked);
  fs::create_directory_symlink(target, linked);
  SetRegistryDirectory(linked);
  ExpectRefused(linked, "is a symbolic link");
  EXPECT_EQ(Slurp(target + "/registry"), kSortedBySize);
  EXPECT_EQ(std::distance(fs::directory_iterator(target), fs::directory_iterator()), 1);
}

TEST_F(FileSettings, AFifoIsRefusedWithoutWaitingForAWriter) {
  ASSERT_EQ(mkfifo((dir_ + "/registry").c_str(), 0600), 0);
  ExpectRefused(dir_ + "/registry", "is not a regular file");
}

TEST_F(FileSettings, AnotherUsersFolderOrFileIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "giving a file away needs root";
  constexpr uid_t kOther = 4242;
  WriteStore(kSortedBySize);
  ASSERT_EQ(ReadSortColumn(), 2u);
  ASSERT_EQ(chown((dir_ + "/registry").c_str(), kOther, kOther), 0);
  ExpectRefused(dir_ + "/registry", "belongs to another user");
  EXPECT_EQ(ReadStore(), kSortedBySize);

  SetRegistryDirectory(dir_);
  ASSERT_EQ(chown((dir_ + "/registry").c_str(), 0, 0), 0);
  ASSERT_EQ(chown(dir_.c_str(), kOther, kOther), 0);
  ExpectRefused(dir_, "belongs to another user");
  EXPECT_EQ(ReadStore(), kSortedBySize);

  // The folder above: a zanderwyn folder not made yet is not made there.
  SetRegistryDirectory(dir_ + "/zanderwyn");
  ExpectRefused(dir_, "belongs to another user");
  EXPECT_FALSE(fs::exists(dir_ + "/zanderwyn"));
  ASSERT_EQ(chown(dir_.c_str(), 0, 0), 0);
}

// Deep keys name no parents of their own: reading the file must not make them.
TEST_F(FileSettings, ParsingHoldsMemoryInProportionToTheFile) {
  std::string text = "Zanderwyn registry 1\n[a";
  for (int i = 0; i < 10000; ++i) text += "\\a";
  text += "]\n\"V\"=dword:00000001\nend\n";
  platform::detail::RegistryDocument doc;
  ASSERT_TRUE(platform::detail::ParseRegistry(text, doc));
  size_t held = 0;
  for (const auto& [folded, key] : doc.keys) held += folded.size() + key.path.size();
  EXPECT_LE(held, 2 * text.size());
}
#endif

}  // namespace
}  // namespace zw
