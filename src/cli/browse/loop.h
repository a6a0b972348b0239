// The event loop: waits on the terminal and on the wake-up pipe at once, so
// that neither keys nor the workers' reports ever wait for the other, and
// redraws after each round.
#pragma once

#include <functional>

#include "cli/browse/session.h"

struct _win_st;

namespace zw {
struct FileIndex;
}

namespace zw::cli::browse {

class Terminal;

class Loop {
 public:
  // `runComplete` is called once, on this thread, when the indexing run has
  // ended (before the session hears of it); false ends the loop with
  // NothingToSearch.
  Loop(Terminal& terminal, Session& session, Mailbox& mailbox, const Wakeup& wakeup,
       const FileIndex& index, std::function<bool()> runComplete);

  // Until Enter, Esc or Ctrl+C (also a SIGINT from elsewhere); a terminal
  // that hangs up counts as Esc.
  Outcome Run();

 private:
  // Reads the keys there are; Continue when none ended the loop.
  Outcome ReadKeys();
  // Takes the wake-ups and reports; Interrupted on SIGINT.
  Outcome TakeReports();

  Terminal& terminal_;
  Session& session_;
  Mailbox& mailbox_;
  const Wakeup& wakeup_;
  const FileIndex& index_;
  std::function<bool()> runComplete_;
};

}  // namespace zw::cli::browse
