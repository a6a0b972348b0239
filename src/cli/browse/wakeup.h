// How other threads and signal handlers wake the terminal's event loop: one
// byte through a pipe the loop polls, and what they have to say kept in a
// mailbox beside it.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace zw::cli::browse {

class Wakeup {
 public:
  Wakeup();  // throws std::system_error when no pipe can be had
  ~Wakeup();
  Wakeup(const Wakeup&) = delete;
  Wakeup& operator=(const Wakeup&) = delete;

  int ReadFd() const { return fds_[0]; }
  int WriteFd() const { return fds_[1]; }
  // Async-signal-safe; a full pipe already holds a wake-up.
  void Notify() const noexcept;
  void Drain() const noexcept;

 private:
  int fds_[2] = {-1, -1};
};

// What the workers have reported since the loop last looked.
struct Reports {
  struct SearchDone {
    uint64_t number = 0;
    uint64_t count = 0;
  };
  std::optional<SearchDone> searchDone;
  struct Progress {
    char16_t drive = 0;
    uint64_t done = 0;
    uint64_t expected = 0;
  };
  std::optional<Progress> progress;
  std::vector<char16_t> drivesDone;
  bool runComplete = false;
};

class Mailbox {
 public:
  explicit Mailbox(const Wakeup& wakeup) : wakeup_(wakeup) {}

  // Called on worker threads (a search's done runs under the result set's
  // lock: this takes only the mailbox's own).
  void SearchDone(uint64_t number, uint64_t count);
  void Progress(char16_t drive, uint64_t done, uint64_t expected);
  void DriveDone(char16_t drive);
  void RunComplete();

  Reports Take();

 private:
  const Wakeup& wakeup_;
  std::mutex mutex_;
  Reports pending_;
};

}  // namespace zw::cli::browse
