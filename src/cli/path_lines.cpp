#include "cli/path_lines.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <string>
#include <system_error>
#include <thread>

#include "base/utf.h"
#include "index/path_builder.h"
#include "view/shown_text.h"

namespace zw::cli {

namespace {

constexpr size_t kBlockEntries = 16384;
// Below this a second thread costs more than it saves.
constexpr size_t kTwoThreadBlocks = 4;

// A path shows as it is exactly when its folder's path and its name each
// do (no escape looks past a "\\"), and then its line is the folder's line
// and the name: a folder's line is made once for all it holds.
void FormatBlock(const EntryStore& entries, size_t block, std::string& out) {
  out.clear();
  PathBuilder paths(entries);
  std::u16string path;
  std::u16string name;
  std::u16string scratch;
  std::string folderLine;  // of `folder`, when it shows as it is
  uint32_t folder = kNoEntry;
  bool folderAsIs = false;
  const size_t last = std::min(entries.size(), (block + 1) * kBlockEntries);
  for (size_t n = block * kBlockEntries; n < last; ++n) {
    if (const std::u16string* parentPath = paths.ParentPathOf(uint32_t(n))) {
      const uint32_t parent = entries.Record(uint32_t(n)).parent;
      if (parent != folder) {
        folder = parent;
        folderAsIs = view::ShowsAsIs(*parentPath);
        folderLine.clear();
        if (folderAsIs) AppendUtf8(folderLine, *parentPath);
      }
      entries.RawName(uint32_t(n)).AssignTo(name);
      if (folderAsIs && view::ShowsAsIs(name)) {
        out += folderLine;
        out += '\\';
        AppendUtf8(out, name);
        out += '\n';
        continue;
      }
    }
    paths.PathInto(uint32_t(n), path);
    AppendUtf8(out, view::Shown(path, scratch));
    out += '\n';
  }
}

// The helper's odd blocks, handed over one at a time.
struct Handoff {
  std::mutex mutex;
  std::condition_variable_any changed;  // also wakes on the helper's stop request
  std::string lines;
  size_t ready = 0;     // the block in `lines`, valid while !taken
  bool taken = true;    // `lines` is free for the next block
  bool failed = false;  // the helper gave up; the writer formats the rest
};

}  // namespace

void ForEachPathBlock(const EntryStore& entries,
                      const std::function<bool(std::string_view lines)>& write) {
  const size_t blocks = (entries.size() + kBlockEntries - 1) / kBlockEntries;
  Handoff h;
  // After `h`, so that it goes first: asked to stop (the writer is done) and
  // joined, with `h` still there to wake it.
  std::jthread helper;
  if (blocks >= kTwoThreadBlocks && std::thread::hardware_concurrency() > 1) {
    try {
      helper = std::jthread([&entries, &h, blocks](std::stop_token writerDone) noexcept {
        std::string mine;
        for (size_t b = 1; b < blocks; b += 2) {
          bool formatted = true;
          try {
            FormatBlock(entries, b, mine);
          } catch (...) {
            formatted = false;  // out of memory: leave the rest to the writer
          }
          std::unique_lock lock(h.mutex);
          if (!formatted) h.failed = true;
          h.changed.wait(lock, writerDone, [&] { return h.taken || h.failed; });
          if (writerDone.stop_requested() || h.failed) {
            h.changed.notify_all();
            return;
          }
          h.lines.swap(mine);
          h.ready = b;
          h.taken = false;
          h.changed.notify_all();
        }
      });
    } catch (const std::system_error&) {
      // No thread to be had: this one formats every block.
    }
  }
  std::string mine;
  for (size_t b = 0; b < blocks; ++b) {
    bool handed = false;
    if (b % 2 == 1 && helper.joinable()) {
      std::unique_lock lock(h.mutex);
      h.changed.wait(lock, [&] { return (!h.taken && h.ready == b) || h.failed; });
      if (!h.failed) {
        mine.swap(h.lines);
        h.taken = true;
        handed = true;
        h.changed.notify_all();
      }
    }
    if (!handed) FormatBlock(entries, b, mine);
    if (!write(mine)) return;
  }
}

}  // namespace zw::cli
