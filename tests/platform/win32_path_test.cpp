#include "platform/win32_path.h"

#include <gtest/gtest.h>

#include <string>

namespace zw::platform {
namespace {

TEST(Win32AltersPath, OnlyPathsWin32WouldTakeElsewhere) {
  for (const std::u16string_view kept :
       {u"C:\\", u"C:", u"C:\\Program Files\\a b.txt", u"D:\\.git\\config", u"D:\\보고서\\a..b",
        u"D:\\CONSOLE.txt", u"D:\\COM0", u"D:\\LPT10", u"D:\\x\\ a"}) {
    EXPECT_FALSE(Win32AltersPath(kept)) << std::string(kept.begin(), kept.end());
  }
  for (const std::u16string_view altered :
       {u"C:\\Program Files \\a.exe", u"C:\\a.", u"C:\\a\\b. .", u"C:\\a\\.", u"C:\\..\\x",
        u"C:\\a\\\\b", u"C:\\a:b", u"C:\\a\x01", u"C:\\a?", u"C:\\a/b", u"C:\\con",
        u"C:\\x\\Nul.txt", u"C:\\aux .log", u"C:\\com7", u"C:\\LPT1.x", u"C:a", u"\\\\?\\C:\\a",
        u"", u"C"}) {
    EXPECT_TRUE(Win32AltersPath(altered)) << std::string(altered.begin(), altered.end());
  }
}

}  // namespace
}  // namespace zw::platform
