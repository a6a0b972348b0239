// The terminal browse draws on: the controlling terminal (/dev/tty), so that
// standard output stays free for the chosen path even inside $(...).
//
// While a Terminal lives, curses owns the screen. It is given back when the
// Terminal ends, and also when the process dies of a signal: the handlers
// put back the saved terminal settings and write the saved reset sequence,
// both of which are safe in a signal handler (endwin is not).
#pragma once

#include <memory>
#include <string>

struct screen;
struct _win_st;

namespace zw::cli::browse {

class Wakeup;

class Terminal {
 public:
  // Nothing when there is no terminal to use, with `error` saying why in a
  // few words. Ctrl+C and resizes reach the loop through `wakeup`, which
  // must outlive the Terminal.
  static std::unique_ptr<Terminal> Open(const Wakeup& wakeup, std::string& error);
  ~Terminal();
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  int InputFd() const { return fd_; }
  _win_st* Window() const;

  // Taken (and reset) by the loop after a wake-up.
  static bool TakeResize();
  static bool TakeInterrupt();
  // Asks the terminal its size and tells curses.
  void FollowResize();

 private:
  Terminal() = default;
  int fd_ = -1;
  bool handlers_ = false;
  screen* screen_ = nullptr;
  struct Files;
  std::unique_ptr<Files> files_;
};

// Whether browse can run here: standard input and a controlling terminal.
// Empty when it can; else why not, in a few words.
std::string TerminalProblem();

}  // namespace zw::cli::browse
