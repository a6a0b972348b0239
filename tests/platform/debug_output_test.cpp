#include "platform/debug_output.h"

#include <gtest/gtest.h>

#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace zw::platform {
namespace {

struct SinkGuard {
  ~SinkGuard() { SetDebugSink(nullptr); }
};

TEST(DebugOutput, SinkReceivesEachLineWhole) {
  SinkGuard guard;
  std::vector<std::u16string> lines;
  SetDebugSink([&](std::u16string_view line) { lines.emplace_back(line); });
  OutputDebugLine(u"UsnMonitor: Started monitoring D:\n");
  OutputDebugLine(u"OnFileCreated: id=7 path=D:\\보고서.txt\n");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], u"OnFileCreated: id=7 path=D:\\보고서.txt\n");

  SetDebugSink(nullptr);
  OutputDebugLine(u"after removal\n");
  EXPECT_EQ(lines.size(), 2u);
}

TEST(DebugOutput, ThrowingOrReentrantSinksAreHarmless) {
  SinkGuard guard;
  int calls = 0;
  SetDebugSink([&](std::u16string_view) {
    ++calls;
    throw std::runtime_error("sink failed");
  });
  OutputDebugLine(u"x\n");  // noexcept: a throw that got out would end the process
  OutputDebugLine(u"y\n");
  EXPECT_EQ(calls, 2);  // the sink stays, and the throw left nothing held

  // A sink that itself writes a line (and replaces the sink) must not
  // deadlock.
  std::vector<std::u16string> seen;
  SetDebugSink([&](std::u16string_view line) {
    seen.emplace_back(line);
    SetDebugSink([&](std::u16string_view inner) { seen.emplace_back(inner); });
    OutputDebugLine(u"nested\n");
  });
  OutputDebugLine(u"outer\n");
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1], u"nested\n");
}

TEST(DebugOutput, LinesFromManyThreadsAllArrive) {
  SinkGuard guard;
  std::mutex m;
  std::vector<std::u16string> lines;
  SetDebugSink([&](std::u16string_view line) {
    std::lock_guard lock(m);
    lines.emplace_back(line);
  });
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 500; ++i) OutputDebugLine(t % 2 ? u"odd\n" : u"even\n");
    });
  // Replacing the sink while lines are written is allowed.
  SetDebugSink([&](std::u16string_view line) {
    std::lock_guard lock(m);
    lines.emplace_back(line);
  });
  for (auto& th : threads) th.join();
  EXPECT_EQ(lines.size(), 2000u);
  for (const auto& l : lines) EXPECT_TRUE(l == u"odd\n" || l == u"even\n");
}

}  // namespace
}  // namespace zw::platform
