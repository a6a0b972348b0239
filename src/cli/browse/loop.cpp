#include "cli/browse/loop.h"

#include <curses.h>
#include <poll.h>

#include <cerrno>

#include "cli/browse/draw.h"
#include "cli/browse/terminal.h"

namespace zw::cli::browse {

Loop::Loop(Terminal& terminal, Session& session, Mailbox& mailbox, const Wakeup& wakeup,
           const FileIndex& index, std::function<bool()> runComplete)
    : terminal_(terminal),
      session_(session),
      mailbox_(mailbox),
      wakeup_(wakeup),
      index_(index),
      runComplete_(std::move(runComplete)) {}

Outcome Loop::ReadKeys() {
  WINDOW* w = terminal_.Window();
  wint_t c = 0;
  for (int r; (r = wget_wch(w, &c)) != ERR;) {
    if (r == KEY_CODE_YES && c == KEY_RESIZE) continue;  // the SIGWINCH handler has it
    const Outcome outcome = session_.OnKey(Key{r == KEY_CODE_YES, uint32_t(c)});
    if (outcome != Outcome::Continue) return outcome;
  }
  return Outcome::Continue;
}

Outcome Loop::TakeReports() {
  wakeup_.Drain();  // before Take: a report after it wakes the next round
  if (Terminal::TakeInterrupt()) return Outcome::Interrupted;
  if (Terminal::TakeResize()) {
    terminal_.FollowResize();
    clearok(curscr, TRUE);
  }
  const Reports reports = mailbox_.Take();
  if (reports.runComplete && runComplete_ && !runComplete_()) return Outcome::NothingToSearch;
  session_.OnReports(reports);
  return Outcome::Continue;
}

Outcome Loop::Run() {
  session_.SearchIfDue();
  Draw(terminal_.Window(), session_, index_);
  for (;;) {
    pollfd fds[2] = {{terminal_.InputFd(), POLLIN, 0}, {wakeup_.ReadFd(), POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return Outcome::Cancelled;
    }
    // Keys first: a search they start makes a result that arrived with them
    // stale, and it is then not sorted for nothing.
    if (fds[0].revents != 0) {
      const Outcome outcome = ReadKeys();
      if (outcome != Outcome::Continue) return outcome;
      if ((fds[0].revents & POLLIN) == 0) return Outcome::Cancelled;  // the terminal hung up
      session_.SearchIfDue();
    }
    if (fds[1].revents != 0) {
      const Outcome outcome = TakeReports();
      if (outcome != Outcome::Continue) return outcome;
      session_.SearchIfDue();
    }
    Draw(terminal_.Window(), session_, index_);
  }
}

}  // namespace zw::cli::browse
