#include "cli/browse/wakeup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace zw::cli::browse {

Wakeup::Wakeup() {
  if (pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0)
    throw std::system_error(errno, std::generic_category(), "pipe");
}

Wakeup::~Wakeup() {
  close(fds_[0]);
  close(fds_[1]);
}

void Wakeup::Notify() const noexcept {
  const int saved = errno;
  const char byte = 1;
  (void)!write(fds_[1], &byte, 1);
  errno = saved;
}

void Wakeup::Drain() const noexcept {
  char bytes[256];
  while (read(fds_[0], bytes, sizeof bytes) > 0) {
  }
}

void Mailbox::SearchDone(uint64_t number, uint64_t count) {
  {
    std::lock_guard hold(mutex_);
    pending_.searchDone = Reports::SearchDone{number, count};
  }
  wakeup_.Notify();
}

void Mailbox::Progress(char16_t drive, uint64_t done, uint64_t expected) {
  bool first = false;
  {
    std::lock_guard hold(mutex_);
    first = !pending_.progress;
    pending_.progress = Reports::Progress{drive, done, expected};
  }
  // The scan reports often: one wake-up until the loop has looked.
  if (first) wakeup_.Notify();
}

void Mailbox::DriveDone(char16_t drive) {
  {
    std::lock_guard hold(mutex_);
    pending_.drivesDone.push_back(drive);
  }
  wakeup_.Notify();
}

void Mailbox::RunComplete() {
  {
    std::lock_guard hold(mutex_);
    pending_.runComplete = true;
  }
  wakeup_.Notify();
}

Reports Mailbox::Take() {
  std::lock_guard hold(mutex_);
  Reports taken = std::move(pending_);
  pending_ = Reports{};
  return taken;
}

}  // namespace zw::cli::browse
