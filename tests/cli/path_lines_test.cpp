#include "cli/path_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/utf.h"
#include "support/entry_builder.h"
#include "view/shown_text.h"

namespace zw::cli {
namespace {

// Enough entries for both threads to format many blocks, in folders of 100
// so that paths differ from block to block. Some names need escapes only
// where they meet the "\\" between folder and name: a trailing blank, a
// joiner or a surrogate at either side of it.
EntryStore ManyEntries() {
  static const std::u16string kEdges[] = {u"", u" ", u"\u200D", u"\xD800", u"{"};
  std::vector<FileEntry> values;
  for (uint32_t i = 0; i < 200000; ++i) {
    FileEntry e;
    e.recordNumber = 16 + i;
    e.drive = u'D';
    const bool folder = i % 100 == 0;
    e.parentRecordNumber = folder ? 5 : 16 + i / 100 * 100;
    e.isFolder = folder;
    e.name = (folder ? u"폴더" : u"f") + FromUtf8(std::to_string(i));
    if (i % 3 == 0) e.name += kEdges[i / 3 % 5];
    if (i % 7 == 1) e.name.insert(0, kEdges[i / 7 % 5]);
    e.path = folder ? u"D:\\" + e.name : values[i / 100 * 100].path + u"\\" + e.name;
    values.push_back(std::move(e));
  }
  EntryStore store;
  test::AppendEntries(store, std::move(values));
  return store;
}

TEST(PathLines, EveryPathOnceInIndexOrderAndAStopIsHeard) {
  const EntryStore store = ManyEntries();
  std::string expected;
  std::u16string scratch;
  for (const EntryRef e : store) expected += ToUtf8(view::Shown(e.path(), scratch)) + "\n";

  std::string got;
  size_t calls = 0;
  ForEachPathBlock(store, [&](std::string_view lines) {
    got += lines;
    ++calls;
    return true;
  });
  EXPECT_GT(calls, 4u);
  EXPECT_TRUE(got == expected) << "the lines differ";

  calls = 0;
  ForEachPathBlock(store, [&](std::string_view) { return ++calls < 3; });
  EXPECT_EQ(calls, 3u);
}

}  // namespace
}  // namespace zw::cli
