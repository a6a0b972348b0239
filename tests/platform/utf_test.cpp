#include <gtest/gtest.h>

#include "base/utf.h"

namespace zw {
namespace {

TEST(Utf, RoundTripsHangulAndAstralText) {
  const std::u16string text = u"보고서 \U0001F600 a.txt";
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(ToUtf8(u"한"), "\xED\x95\x9C");
}

// Long text is encoded in pieces; a pair or a lone unit at any place around
// a piece's end must come out whole, with three-byte text all around it.
TEST(Utf, LongTextAroundPieceBoundaries) {
  for (size_t before = 250; before < 262; ++before) {
    const std::u16string tail(300, u'한');
    std::u16string text = std::u16string(before, u'한') + u"\U0001F600" + tail;
    std::string utf8 = ToUtf8(text);
    EXPECT_EQ(utf8.size(), 3 * (before + tail.size()) + 4) << before;
    EXPECT_EQ(FromUtf8(utf8), text) << before;

    text = std::u16string(before, u'한') + char16_t(0xD83D) + tail;  // a high unit alone
    utf8 = ToUtf8(text);
    EXPECT_EQ(FromUtf8(utf8), std::u16string(before, u'한') + u"\uFFFD" + tail) << before;
  }
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
