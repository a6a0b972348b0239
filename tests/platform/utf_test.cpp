#include <gtest/gtest.h>

#include "platform/utf.h"

namespace zw {
namespace {

TEST(Utf, RoundTripsHangulAndAstralText) {
  const std::u16string text = u"보고서 \U0001F600 a.txt";
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(ToUtf8(u"한"), "\xED\x95\x9C");
}

TEST(Utf, UnpairedSurrogatesBecomeReplacementCharacters) {
  const std::u16string lone = {u'a', char16_t(0xD800), u'b', char16_t(0xDC00)};
  EXPECT_EQ(ToUtf8(lone),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
}

TEST(Utf, MalformedUtf8IsReplacedNotDropped) {
  EXPECT_EQ(FromUtf8("a\xFF"
                     "b"),
            u"a\uFFFDb");
  EXPECT_EQ(FromUtf8("\xE0\x80\x80"), u"\uFFFD");  // overlong
  EXPECT_EQ(FromUtf8("x\xE2\x82"), u"x\uFFFD");    // truncated at the end
}

}  // namespace
}  // namespace zw
