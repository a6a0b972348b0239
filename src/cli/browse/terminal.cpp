#include "cli/browse/terminal.h"

#include <curses.h>
#include <fcntl.h>
#include <langinfo.h>
#include <sys/ioctl.h>
#include <term.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/browse/wakeup.h"

namespace zw::cli::browse {

namespace {

// Read by the signal handlers: set before they are installed, cleared after
// they are removed.
int gTtyFd = -1;
termios gSaved{};
char gReset[256];
size_t gResetLength = 0;
std::atomic<int> gWakeFd{-1};
std::atomic<bool> gResized{false};
std::atomic<bool> gInterrupted{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

void RestoreTerminalNow() noexcept {
  if (gTtyFd < 0) return;
  (void)!write(gTtyFd, gReset, gResetLength);
  tcsetattr(gTtyFd, TCSANOW, &gSaved);
}

void Poke() noexcept {
  const int fd = gWakeFd.load();
  if (fd < 0) return;
  const char byte = 1;
  (void)!write(fd, &byte, 1);
}

extern "C" void OnBrowseFatalSignal(int signal) {
  RestoreTerminalNow();
  std::signal(signal, SIG_DFL);
  raise(signal);
}

extern "C" void OnBrowseResize(int) {
  const int saved = errno;
  gResized.store(true);
  Poke();
  errno = saved;
}

extern "C" void OnBrowseInterrupt(int) {
  const int saved = errno;
  gInterrupted.store(true);
  Poke();
  errno = saved;
}

constexpr int kHandled[] = {SIGSEGV, SIGBUS, SIGFPE,  SIGILL,   SIGABRT,
                            SIGTERM, SIGHUP, SIGQUIT, SIGWINCH, SIGINT};
struct sigaction gPrevious[std::size(kHandled)];

void InstallHandlers() {
  for (size_t i = 0; i < std::size(kHandled); ++i) {
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    const int s = kHandled[i];
    if (s == SIGWINCH) {
      action.sa_handler = OnBrowseResize;
      action.sa_flags = SA_RESTART;
    } else if (s == SIGINT) {
      action.sa_handler = OnBrowseInterrupt;
      action.sa_flags = SA_RESTART;
    } else {
      action.sa_handler = OnBrowseFatalSignal;
      action.sa_flags = SA_RESETHAND;
    }
    sigaction(s, &action, &gPrevious[i]);
  }
}

void RemoveHandlers() {
  for (size_t i = 0; i < std::size(kHandled); ++i) sigaction(kHandled[i], &gPrevious[i], nullptr);
}

// What puts the terminal back as curses found it: the normal screen, a
// visible cursor, plain attributes, the keypad in its normal mode.
void SaveResetSequence() {
  gResetLength = 0;
  for (const char* name : {"sgr0", "cnorm", "rmkx", "rmcup"}) {
    const char* s = tigetstr(const_cast<char*>(name));
    if (s == nullptr || s == reinterpret_cast<const char*>(-1)) continue;
    const size_t n = std::strlen(s);
    if (gResetLength + n > sizeof gReset) break;
    std::memcpy(gReset + gResetLength, s, n);
    gResetLength += n;
  }
}

// Names and the line arrive as UTF-8; curses must read and write it so.
void UseUtf8Characters() {
  std::setlocale(LC_CTYPE, "");
  if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) std::setlocale(LC_CTYPE, "C.UTF-8");
}

}  // namespace

struct Terminal::Files {
  FILE* out = nullptr;
  FILE* in = nullptr;
  ~Files() {
    if (out != nullptr) std::fclose(out);
    if (in != nullptr) std::fclose(in);
  }
};

std::string TerminalProblem() {
  if (!isatty(STDIN_FILENO)) return "standard input is not a terminal";
  const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return "there is no terminal to draw on";
  const bool tty = isatty(fd) != 0;
  close(fd);
  return tty ? std::string() : "there is no terminal to draw on";
}

std::unique_ptr<Terminal> Terminal::Open(const Wakeup& wakeup, std::string& error) {
  error = TerminalProblem();
  if (!error.empty()) return nullptr;
  std::unique_ptr<Terminal> t(new Terminal);
  t->fd_ = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (t->fd_ < 0 || tcgetattr(t->fd_, &gSaved) != 0) {
    error = "there is no terminal to draw on";
    if (t->fd_ >= 0) close(t->fd_);
    t->fd_ = -1;
    return nullptr;
  }
  UseUtf8Characters();
  t->files_ = std::make_unique<Files>();
  t->files_->out = fdopen(fcntl(t->fd_, F_DUPFD_CLOEXEC, 0), "w");
  t->files_->in = fdopen(fcntl(t->fd_, F_DUPFD_CLOEXEC, 0), "r");
  if (t->files_->out == nullptr || t->files_->in == nullptr) {
    error = "the terminal cannot be opened";
    close(t->fd_);
    t->fd_ = -1;
    return nullptr;
  }
  // The handlers first: curses then leaves SIGWINCH and SIGINT to them.
  gWakeFd.store(wakeup.WriteFd());
  gResized.store(false);
  gInterrupted.store(false);
  gTtyFd = t->fd_;
  gResetLength = 0;
  InstallHandlers();
  t->handlers_ = true;
  use_tioctl(TRUE);
  t->screen_ = newterm(nullptr, t->files_->out, t->files_->in);
  if (t->screen_ == nullptr) {
    const char* term = std::getenv("TERM");
    error = std::string("the terminal type '") + (term != nullptr ? term : "") + "' is not known";
    return nullptr;  // the destructor puts back what was changed
  }
  set_term(t->screen_);
  SaveResetSequence();
  raw();
  noecho();
  nonl();
  keypad(stdscr, TRUE);
  nodelay(stdscr, TRUE);
  set_escdelay(25);
  return t;
}

Terminal::~Terminal() {
  if (screen_ != nullptr) {
    endwin();
    delscreen(screen_);
  }
  if (fd_ >= 0) tcsetattr(fd_, TCSANOW, &gSaved);
  gTtyFd = -1;
  if (handlers_) RemoveHandlers();
  gWakeFd.store(-1);
  files_.reset();
  if (fd_ >= 0) close(fd_);
}

WINDOW* Terminal::Window() const {
  return stdscr;
}

bool Terminal::TakeResize() {
  return gResized.exchange(false);
}

bool Terminal::TakeInterrupt() {
  return gInterrupted.exchange(false);
}

void Terminal::FollowResize() {
  winsize size{};
  if (ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 && size.ws_col > 0)
    resize_term(size.ws_row, size.ws_col);
}

}  // namespace zw::cli::browse
