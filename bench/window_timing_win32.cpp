// The window's own timings under Wine, over a million entries filled in
// process: from a keystroke to the list's new count (the search on its
// worker, then WM_APP_SEARCH_DONE with filter and sort), which cells a
// scroll asks for, and the longest the window's thread is held up by any
// one message while the journal applies a burst of changes. Built with the
// window tests (it drives the window as they do); prints medians in ms.
#include <cstdio>
#include <map>
#include <set>
#include <string>

#include "app/app_ids.h"
#include "app/message_loop.h"
#include "app/wide_text.h"
#include "app/window_harness.h"
#include "base/utf.h"
#include "engine/file_index.h"
#include "live/usn_monitor.h"
#include "search/query.h"
#include "settings/settings.h"
#include "view/status_text.h"
#include "window_timing_data.h"

namespace zw::app::test {
namespace {

using timing::Clock;
using timing::MsSince;

constexpr DWORD kLongWait = 600000;

class WindowTiming : public WindowTest {
 protected:
  struct Keystroke {
    double total = 0;   // from the keystroke to the new count shown
    double typed = 0;   // of which the keystroke itself: the edit, EN_CHANGE, the search started
    double window = 0;  // and WM_APP_SEARCH_DONE: filter, sort, count
  };
  // One keystroke into the search box, until its search has been shown.
  Keystroke TimeKeystroke(wchar_t c) {
    Keystroke k;
    const auto start = Clock::now();
    ::SendMessageW(Control(IDC_SEARCH_EDIT), WM_CHAR, c, 1);
    k.typed = MsSince(start);
    while (MsSince(start) < kLongWait) {
      MSG message;
      if (!::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
        continue;
      }
      const bool done = message.message == WM_APP_SEARCH_DONE;
      const auto t = Clock::now();
      DispatchWithAccelerators(message, nullptr);
      if (done) {
        k.window = MsSince(t);
        break;
      }
      wchar_t windowClass[64] = L"";
      ::GetClassNameW(message.hwnd, windowClass, 64);
      spent_[std::to_string(message.message) + " " + ToUtf8(FromWide(windowClass))] += MsSince(t);
    }
    k.total = MsSince(start);
    return k;
  }
  void SetText(const std::u16string& text) {
    MessageRecorder done(WM_APP_SEARCH_DONE);
    HWND edit = Control(IDC_SEARCH_EDIT);
    ::SetWindowTextW(edit, ToWide(text).c_str());
    ::SendMessageW(edit, EM_SETSEL, text.size(), text.size());  // typing goes on at the end
    Command(IDC_SEARCH_EDIT, EN_CHANGE);
    if (!text.empty()) EXPECT_TRUE(PumpUntil([&] { return !done.Seen().empty(); }, kLongWait));
    Settle();
    // The rows of this text are painted now, not inside the next keystroke's time.
    ::UpdateWindow(Control(IDC_RESULT_LIST));
    ::UpdateWindow(edit);
  }
  // Time per message (number and window class) dispatched between a
  // keystroke and its results, summed over a Keystrokes() call.
  std::map<std::string, double> spent_;
  void Keystrokes(const char* label, const std::u16string& text) {
    spent_.clear();
    std::vector<double> totals, typed, windows;
    for (int rep = 0; rep < 9; ++rep) {
      SetText(text.substr(0, text.size() - 1));
      const Keystroke k = TimeKeystroke(wchar_t(text.back()));
      totals.push_back(k.total);
      typed.push_back(k.typed);
      windows.push_back(k.window);
    }
    std::printf(
        "keystroke %-10s \"%s\": median %.1f ms, of which %.1f ms the keystroke itself and %.1f ms"
        " filter and sort (%s)\n",
        label, ToUtf8(text).c_str(), timing::Median(totals), timing::Median(typed),
        timing::Median(windows), ToUtf8(Status()).c_str());
    for (const auto& [message, ms] : spent_) {
      if (ms / 9 >= 0.1)
        std::printf("  in between, message %s: %.1f ms a keystroke\n", message.c_str(), ms / 9);
    }
  }

  // What the list view itself takes to learn a new count, apart from the
  // search: under Wine most of a selective keystroke's window time.
  void ListViewCost() {
    HWND list = Control(IDC_RESULT_LIST);
    const int count = Rows();
    std::vector<double> times;
    for (int rep = 0; rep < 9; ++rep) {
      const auto t = Clock::now();
      ::SendMessageW(list, LVM_SETITEMCOUNT, WPARAM(count + rep % 2), LVSICF_NOSCROLL);
      times.push_back(MsSince(t));
    }
    ::SendMessageW(list, LVM_SETITEMCOUNT, WPARAM(count), LVSICF_NOSCROLL);
    std::printf("list view's own LVM_SETITEMCOUNT of %d rows: median %.1f ms\n", count,
                timing::Median(times));
  }

  // Rows the list asks cells for while it scrolls a page at a time.
  void Scroll() {
    HWND list = Control(IDC_RESULT_LIST);
    const int page = int(::SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0));
    std::set<int> rows;
    asked_ = &rows;
    OwnedHook hook(::SetWindowsHookExW(WH_CALLWNDPROC, OnCall, nullptr, ::GetCurrentThreadId()));
    for (int step = 0; step < 20; ++step) {
      ::SendMessageW(list, LVM_SCROLL, 0, 4000 * (step + 1));
      ::UpdateWindow(list);
    }
    hook.Reset();
    asked_ = nullptr;
    std::printf("scrolling 20 times: cells asked for %zu rows of %d, %d to a page\n", rows.size(),
                Rows(), page);
  }
  static LRESULT CALLBACK OnCall(int code, WPARAM wParam, LPARAM lParam) noexcept {
    const auto& m = *reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && asked_ && m.message == WM_NOTIFY) {
      const auto& info = *reinterpret_cast<const NMLVDISPINFOW*>(m.lParam);
      if (info.hdr.code == LVN_GETDISPINFOW) asked_->insert(info.item.iItem);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static inline std::set<int>* asked_ = nullptr;

  // The longest any one message keeps the window's thread while a burst of
  // journal changes is applied (and the list repaints as they arrive).
  void Burst(const char* label, platform::ScriptedJournal& journal) {
    const uint64_t before = GetUsnMonitor().Stats().changes.load();
    timing::AppendBurst(journal, EntryReadView(GetIndex().entries).entries().size());
    double worst = 0;
    UINT worstMessage = 0;
    const auto start = Clock::now();
    auto quietSince = Clock::now();
    while (MsSince(start) < kLongWait) {
      const bool applied = GetUsnMonitor().Stats().changes.load() >= before + timing::kBurst;
      if (applied && MsSince(quietSince) > 1000) break;
      MSG message;
      if (!::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        continue;
      }
      if (message.message == WM_APP_INDEX_CHANGED || message.message == WM_APP_SEARCH_DONE)
        quietSince = Clock::now();
      const auto t = Clock::now();
      DispatchWithAccelerators(message, nullptr);
      const double ms = MsSince(t);
      if (ms > worst) {
        worst = ms;
        worstMessage = message.message;
      }
    }
    std::printf("burst of %d changes, %s: longest message %.1f ms (message %u), %s\n",
                timing::kBurst, label, worst, worstMessage, ToUtf8(Status()).c_str());
  }
};

TEST_F(WindowTiming, MillionEntries) {
  auto journal = std::make_shared<platform::ScriptedJournal>();
  GetUsnMonitor().SetDeviceFactory(
      [journal](char16_t) { return platform::ScriptedJournal::Open(journal); });
  std::vector<FileEntry> entries = timing::MillionEntries();
  std::vector<FakeFile> files;
  files.reserve(entries.size());
  for (const FileEntry& e : entries)
    files.push_back({e.path, e.isFolder, e.size, e.modificationTime});
  fake_.Add(u'D', std::move(files));
  ASSERT_TRUE(SaveSelectedDrives({u'D'}));
  ASSERT_TRUE(WriteDword(kFirstRunComplete, 1));
  const auto start = Clock::now();
  Open();
  ASSERT_TRUE(
      PumpUntil([&] { return Status() == view::ItemCountText(entries.size()); }, kLongWait));
  std::printf("%zu entries indexed and listed in %.0f ms\n", entries.size(), MsSince(start));
  // A copy: the count searches, which takes the lock itself.
  const EntryStore indexed = EntryReadView(GetIndex().entries).entries();
  const timing::Texts texts = timing::ChooseTexts(indexed, [&](const std::u16string& t) {
    return RunQuery(GetIndex().nameIndex, ParseQuery(t)).size();
  });
  std::vector<double> clears;
  for (int rep = 0; rep < 5; ++rep) {
    SetText(u"x");
    const auto t = Clock::now();
    SetText(u"");  // the list of every entry, sorted, on the window's thread
    clears.push_back(MsSince(t));
  }
  std::printf("search box emptied: median %.1f ms to list every entry (%s)\n",
              timing::Median(clears), ToUtf8(Status()).c_str());
  Keystrokes("wide", texts.wide);
  Keystrokes("selective", texts.selective);
  ListViewCost();
  SetText(u"");
  Scroll();
  ASSERT_TRUE(PumpUntil([&] { return journal->ReadCount() > 0; }));
  Burst("full list", *journal);
  SetText(texts.selective);
  Burst("searching", *journal);
  GetUsnMonitor().SetDeviceFactory(platform::OpenSystemUsnJournal);
}

}  // namespace
}  // namespace zw::app::test
