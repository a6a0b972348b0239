#include "cli/browse/held_stderr.h"

#include <fcntl.h>
#include <unistd.h>

namespace zw::cli::browse {

HeldStderr::HeldStderr() {
  if (!isatty(STDERR_FILENO)) return;
  kept_ = std::tmpfile();
  if (kept_ == nullptr) return;
  std::fflush(stderr);
  saved_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
  if (saved_ < 0 || dup2(fileno(kept_), STDERR_FILENO) < 0) {
    if (saved_ >= 0) close(saved_);
    saved_ = -1;
    std::fclose(kept_);
    kept_ = nullptr;
  }
}

void HeldStderr::Release() {
  if (kept_ == nullptr) return;
  std::fflush(stderr);
  dup2(saved_, STDERR_FILENO);
  close(saved_);
  saved_ = -1;
  char buffer[4096];
  std::rewind(kept_);
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, kept_)) > 0;) {
    if (write(STDERR_FILENO, buffer, n) < 0) break;
  }
  std::fclose(kept_);
  kept_ = nullptr;
}

}  // namespace zw::cli::browse
