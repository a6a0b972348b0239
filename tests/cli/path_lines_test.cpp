#include "cli/path_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/utf.h"
#include "support/entry_builder.h"

namespace zw::cli {
namespace {

// Enough entries for both threads to format many blocks, in folders of 100
// so that paths differ from block to block.
EntryStore ManyEntries() {
  std::vector<FileEntry> values;
  for (uint32_t i = 0; i < 200000; ++i) {
    FileEntry e;
    e.recordNumber = 16 + i;
    e.drive = u'D';
    const bool folder = i % 100 == 0;
    e.parentRecordNumber = folder ? 5 : 16 + i / 100 * 100;
    e.isFolder = folder;
    e.name = (folder ? u"폴더" : u"f") + FromUtf8(std::to_string(i));
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
  for (const EntryRef e : store) expected += ToUtf8(e.path()) + "\n";

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
