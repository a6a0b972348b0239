// browse's keystroke, from the key read to the last row drawn, on a volume
// indexed once: the same session, search, filter, sort and drawing as the
// terminal's, drawn into an off-screen curses screen of 160 by 40 (its
// output goes to /dev/null).
//
//   bench/zw_browse_bench --image=IMG [--one=a] [--selective=보고서]
//
// BM_Keystroke/one: typing the first character into an empty line (the
// list of everything before it); BM_Keystroke/selective: typing the last
// character of a selective text. Each iteration is one keystroke; the
// counters give the median and the 90th percentile in milliseconds.
#include <benchmark/benchmark.h>
#include <curses.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/utf.h"
#include "cli/browse/draw.h"
#include "cli/browse/session.h"
#include "cli/browse/text_width.h"
#include "cli/browse/wakeup.h"
#include "cli/heap_tunables.h"
#include "engine/file_index.h"
#include "engine/run_indexing.h"
#include "platform/drive_table.h"

namespace {

using namespace zw;
using namespace zw::cli::browse;

std::string gImage;
std::u32string gOne = U"a";
std::u32string gSelective = U"보고서";

struct World {
  FileIndex index;
  Wakeup wakeup;
  Mailbox mailbox{wakeup};
  std::unique_ptr<Session> session;
  SCREEN* screen = nullptr;
  bool ok = false;

  World() {
    std::string error;
    const auto binding = platform::ParseDriveBinding("D=" + gImage, error);
    if (!binding) return;
    platform::BindDrive(*binding);
    IndexRunOptions options;
    options.journalFactory = nullptr;
    if (!StartIndexRun(index, {u'D'}, {}, options)) return;
    JoinIndexThread(index);
    std::setlocale(LC_CTYPE, "C.UTF-8");
    FILE* out = std::fopen("/dev/null", "w");
    FILE* in = std::fopen("/dev/null", "r");
    screen = newterm("xterm-256color", out, in);
    if (screen == nullptr) return;
    set_term(screen);
    resize_term(40, 160);
    session = std::make_unique<Session>(index, mailbox, SessionOptions{});
    ok = true;
  }

  // Until the search the key started has been answered, then drawn.
  void Settle() {
    session->SearchIfDue();
    while (session->Searching()) {
      pollfd fd{wakeup.ReadFd(), POLLIN, 0};
      poll(&fd, 1, -1);
      wakeup.Drain();
      session->OnReports(mailbox.Take());
    }
    Draw(stdscr, *session, index);
  }
  void Type(char32_t c) { session->OnKey(Key{false, uint32_t(c)}); }
  void Clear() { session->OnKey(Key{false, 0x15}); }  // Ctrl+U
};

World& TheWorld() {
  static World world;
  return world;
}

void Keystroke(benchmark::State& state, const std::u32string& text) {
  World& w = TheWorld();
  if (!w.ok || text.empty()) {
    state.SkipWithError("no index: give --image=IMG (a zw-mkimage volume)");
    return;
  }
  std::vector<double> ms;
  for (auto _ : state) {
    w.Clear();
    for (size_t i = 0; i + 1 < text.size(); ++i) w.Type(text[i]);
    w.Settle();
    const auto start = std::chrono::steady_clock::now();
    w.Type(text.back());
    w.Settle();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(took.count());
    ms.push_back(took.count() * 1000);
  }
  std::sort(ms.begin(), ms.end());
  state.counters["median_ms"] = ms[ms.size() / 2];
  state.counters["p90_ms"] = ms[ms.size() * 9 / 10];
  state.counters["results"] = double(w.session->RowCount());
  state.SetLabel(ToUtf8(w.session->Line().Utf16()));
}

void BM_Keystroke_One(benchmark::State& s) {
  Keystroke(s, gOne);
}
void BM_Keystroke_Selective(benchmark::State& s) {
  Keystroke(s, gSelective);
}
BENCHMARK(BM_Keystroke_One)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(31);
BENCHMARK(BM_Keystroke_Selective)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(31);

}  // namespace

int main(int argc, char** argv) {
  // The heap the command runs with: its page faults are a third of a
  // keystroke that finds half the entries.
  zw::cli::RestartWithHugePageHeap(argv);
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--image=", 0) == 0) {
      gImage = a.substr(8);
    } else if (a.rfind("--one=", 0) == 0) {
      gOne = ToUtf32(FromUtf8(a.substr(6)));
    } else if (a.rfind("--selective=", 0) == 0) {
      gSelective = ToUtf32(FromUtf8(a.substr(12)));
    } else {
      args.push_back(argv[i]);
    }
  }
  int n = int(args.size());
  benchmark::Initialize(&n, args.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (TheWorld().screen != nullptr) endwin();
  return 0;
}
