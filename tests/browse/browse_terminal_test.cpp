// browse driven for real: the program runs in a tmux pane on a generated
// image, keys go in with send-keys, and the screen comes back with
// capture-pane. What it lists is checked against `search`, which must agree.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/hangul.h"
#include "base/utf.h"
#include "cli/cli_runner.h"
#include "support/real_images.h"
#include "support/test_paths.h"

// Builds without the generator (the TSan preset) have no image to browse.
#ifdef ZW_MKIMAGE

namespace zw::test {
namespace {

// Far above what a passing run needs: the screen is polled, never timed.
constexpr std::chrono::seconds kPaneWait{90};

std::string Output(const std::string& command) {
  std::string text;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    pclose(pipe);
  }
  return text;
}

bool HaveTmux() {
  return std::system("command -v tmux >/dev/null 2>&1") == 0;
}

// The sample the project's generator makes (Hangul names among them), once per process.
std::string Image() {
  static const std::string image = [] {
    const std::string dir = BinaryDir() + "/test-data";
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/browse-seed1.img";
    if (std::filesystem::exists(path)) return path;
    const std::string mine = path + "." + std::to_string(getpid());
    const CliResult r = RunProgram(
        ZW_MKIMAGE, {"--seed", "1", "--count", "3000", "--out", mine, "--force", "--quiet"});
    if (r.status != 0) return std::string();
    std::filesystem::rename(mine, path);
    return path;
  }();
  return image;
}

CliResult Search(const std::vector<std::string>& args) {
  std::vector<std::string> all = {"--drive", "D=" + Image(), "search"};
  all.insert(all.end(), args.begin(), args.end());
  return RunCli(all);
}

// The names `search` lists first, as --long's first column.
std::vector<std::string> FirstNames(const std::vector<std::string>& args, size_t count) {
  std::vector<std::string> all = args;
  all.push_back("--long");
  std::vector<std::string> names;
  for (const std::string& line : Search(all).OutLines()) {
    if (names.size() == count) break;
    names.push_back(line.substr(0, line.find('\t')));
  }
  return names;
}

std::string Grouped(std::string digits) {
  for (int i = int(digits.size()) - 3; i > 0; i -= 3) digits.insert(size_t(i), ",");
  return digits;
}

// "16 results", as the status line says it, from search --count.
std::string CountText(const std::vector<std::string>& args) {
  std::vector<std::string> all = args;
  all.push_back("--count");
  std::string n = Search(all).out;
  while (!n.empty() && n.back() == '\n') n.pop_back();
  return Grouped(n) + (n == "1" ? " result " : " results ");
}

// One private tmux server with one pane that runs `script`.
class Pane {
 public:
  Pane(const std::string& name, int width, int height, const std::string& script)
      : dir_(ScratchDir(name)),
        tmux_("LANG=C.UTF-8 tmux -L zw-" + name + "-" + std::to_string(getpid()) +
              " -f /dev/null ") {
    const std::string file = dir_ + "/run.sh";
    WriteFile(file, "cd " + ShellQuote(dir_) +
                        "\nexport LANG=C.UTF-8 XDG_CONFIG_HOME=" + ShellQuote(dir_ + "/config") +
                        "\nZW=" + ShellQuote(ZW_CLI) + "\nIMG=" + ShellQuote(Image()) + "\n" +
                        script + "\necho FINISHED\nexec sleep 600\n");
    Tmux("new-session -d -s t -x " + std::to_string(width) + " -y " + std::to_string(height) +
         " 'sh " + file + "'");
  }
  ~Pane() { Tmux("kill-server"); }

  std::string Tmux(const std::string& args) const { return Output(tmux_ + args + " 2>&1"); }
  void Keys(const std::string& keys) const { Tmux("send-keys -t t " + keys); }
  void Type(const std::string& text) const { Tmux("send-keys -t t -l " + ShellQuote(text)); }
  std::string Screen() const { return Tmux("capture-pane -t t -p"); }
  std::vector<std::string> Lines() const { return CliResult::Lines(Screen()); }
  std::string File(const std::string& name) const { return ReadFile(dir_ + "/" + name); }

  // Polls the screen until `ready` holds; false, with a failure naming
  // `what` and the screen, when it never does.
  bool WaitFor(const std::function<bool(const std::string&)>& ready, const std::string& what) {
    const auto deadline = std::chrono::steady_clock::now() + kPaneWait;
    std::string screen;
    while (std::chrono::steady_clock::now() < deadline) {
      screen = Screen();
      if (ready(screen)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ADD_FAILURE() << "the screen never showed " << what << "; it shows:\n" << screen;
    return false;
  }
  bool WaitForText(const std::string& text) {
    return WaitFor([&](const std::string& s) { return s.find(text) != std::string::npos; },
                   "\"" + text + "\"");
  }
  // The status line, once the run is over and no search is on its way,
  // begins with `start` and holds `also`.
  bool WaitForStatus(const std::string& start, const std::string& also = "") {
    return WaitFor(
        [&](const std::string& s) {
          const std::vector<std::string> lines = CliResult::Lines(s);
          if (lines.empty()) return false;
          const std::string& status = lines.back();
          return status.rfind(start, 0) == 0 && status.find(also) != std::string::npos &&
                 status.find("index") == std::string::npos &&
                 status.find("searching") == std::string::npos;
        },
        "a status line \"" + start + "...\" holding \"" + also + "\"");
  }

 private:
  std::string dir_;
  std::string tmux_;
};

// The rows under the column heads begin with these names, in this order.
void ExpectRows(const std::vector<std::string>& lines, const std::vector<std::string>& names) {
  ASSERT_GE(lines.size(), names.size() + 2);
  for (size_t i = 0; i < names.size(); ++i) {
    // A long name may be cut with "…": its first letters are there either way.
    // Jamo show as the syllables they spell.
    const std::u16string name16 = hangul::Composed(FromUtf8(names[i]));
    const std::string start = ToUtf8(name16.substr(0, 10));
    EXPECT_EQ(lines[2 + i].rfind(start, 0), 0u)
        << "row " << i << ": " << lines[2 + i] << "\nexpected the name " << names[i];
  }
}

class BrowseTerminal : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTmux()) GTEST_SKIP() << "tmux is not installed (Debian package tmux)";
    ASSERT_FALSE(Image().empty()) << "zw-mkimage could not make the image";
  }
};

TEST_F(BrowseTerminal, TypingFilteringAndSortingListAsSearchDoesAndEnterPrintsThePath) {
  Pane pane("browse-enter", 160, 30,
            "stty -g > before\n"
            "p=$(\"$ZW\" --drive \"D=$IMG\" browse 2>err); s=$?\n"
            "printf '%s' \"$p\" > out; printf '%s' $s > status; stty -g > after");
  ASSERT_TRUE(pane.WaitForStatus(CountText({""})));
  EXPECT_NE(pane.Screen().find("Modified"), std::string::npos);

  pane.Type("보고서");
  ASSERT_TRUE(pane.WaitForStatus(CountText({"보고서"})));
  EXPECT_EQ(pane.Lines().front(), "> 보고서");
  ExpectRows(pane.Lines(), FirstNames({"보고서"}, 8));

  pane.Keys("F2");
  ASSERT_TRUE(pane.WaitForStatus(CountText({"보고서", "--type", "folders"}), "type: folders"));
  ExpectRows(pane.Lines(), FirstNames({"보고서", "--type", "folders"}, 1));
  for (int i = 0; i < 8; ++i) pane.Keys("C-t");  // round the nine filters back to all
  ASSERT_TRUE(pane.WaitForStatus(CountText({"보고서"}), "type: all"));

  pane.Keys("F3 C-s F4");  // name, path, size; then reversed
  ASSERT_TRUE(pane.WaitForStatus("", "sort: size desc"));
  const std::vector<std::string> order = {"보고서", "--sort", "size", "--desc"};
  ExpectRows(pane.Lines(), FirstNames(order, 8));

  pane.Keys("Down Down Enter");
  ASSERT_TRUE(pane.WaitForText("FINISHED"));
  const std::vector<std::string> paths = Search(order).OutLines();
  ASSERT_GE(paths.size(), 3u);
  EXPECT_EQ(pane.File("out"), paths[2]);
  EXPECT_EQ(pane.File("status"), "0");
  EXPECT_EQ(pane.File("err"), "");
  // The terminal is as it was: its settings, and the shell's own screen.
  EXPECT_EQ(pane.File("after"), pane.File("before"));
  EXPECT_EQ(pane.Tmux("display -p -t t '#{alternate_on}'"), "0\n");
}

TEST_F(BrowseTerminal, EscAndCtrlCPrintNothingAResizeRedrawsAndTheCommandIsTheDefault) {
  // The second run is `zanderwyn` alone, its output on the terminal itself.
  Pane pane("browse-esc", 100, 24,
            "stty -g > before\n"
            "p=$(\"$ZW\" --drive \"D=$IMG\" browse); printf '%s|%s' $? \"$p\" > esc\n"
            "\"$ZW\" --drive \"D=$IMG\"; echo \"status=$?\"\n"
            "stty -g > after");
  ASSERT_TRUE(pane.WaitForStatus("", " results "));
  pane.Type("report");
  ASSERT_TRUE(pane.WaitForStatus(CountText({"report"})));
  pane.Tmux("resize-window -t t -x 70 -y 12");
  ASSERT_TRUE(pane.WaitFor(
      [](const std::string& s) {
        const std::vector<std::string> lines = CliResult::Lines(s);
        return lines.size() == 12 && lines.back().find(" results ") != std::string::npos &&
               lines[1].find("Modified") == 70 - 16;
      },
      "the view redrawn at 70 by 12"));
  for (const std::string& line : pane.Lines()) EXPECT_LE(FromUtf8(line).size(), 70u) << line;
  ExpectRows(pane.Lines(), FirstNames({"report"}, 3));
  pane.Keys("Escape");
  ASSERT_TRUE(pane.WaitFor([&](const std::string&) { return pane.File("esc") == "1|"; },
                           "Esc's exit status 1 and no path"));

  ASSERT_TRUE(pane.WaitForStatus("", " results "));
  pane.Keys("C-c");
  ASSERT_TRUE(pane.WaitForText("FINISHED"));
  EXPECT_NE(pane.Screen().find("status=130"), std::string::npos) << pane.Screen();
  EXPECT_EQ(pane.File("after"), pane.File("before"));
}

TEST_F(BrowseTerminal, ASignalThatEndsItStillGivesTheTerminalBack) {
  // In the background so that its number is known; its keys still come from
  // the terminal, which it reads itself.
  Pane pane("browse-kill", 100, 24,
            "stty -g > before\n"
            "\"$ZW\" --drive \"D=$IMG\" browse </dev/tty & echo $! > pid; wait $!\n"
            "echo \"status=$?\"; stty -g > after");
  ASSERT_TRUE(pane.WaitForStatus("", " results "));
  ASSERT_EQ(pane.Tmux("display -p -t t '#{alternate_on}'"), "1\n");
  const std::string pid = pane.File("pid");
  ASSERT_FALSE(pid.empty());
  ASSERT_EQ(std::system(("kill -TERM " + pid).c_str()), 0);
  ASSERT_TRUE(pane.WaitForText("FINISHED"));
  EXPECT_NE(pane.Screen().find("status=143"), std::string::npos) << pane.Screen();
  EXPECT_EQ(pane.File("after"), pane.File("before"));
  EXPECT_EQ(pane.Tmux("display -p -t t '#{alternate_on}'"), "0\n");
}

TEST(Browse, WithoutATerminalItStopsAndNamesSearch) {
  const CliResult r = RunCli({"--drive", "D=/nonexistent.img", "browse"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  ASSERT_EQ(r.ErrLines().size(), 1u) << r.err;
  EXPECT_NE(r.err.find("zanderwyn search"), std::string::npos) << r.err;
  // Without a terminal, no command is still an error, not browse.
  const CliResult none = RunCli({"--drive", "D=/nonexistent.img"});
  EXPECT_EQ(none.status, 2);
  EXPECT_EQ(none.err, "zanderwyn: no command given (see zanderwyn --help)\n");
}

}  // namespace
}  // namespace zw::test

#endif  // ZW_MKIMAGE
