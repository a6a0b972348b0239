// Draws the session on a curses window: the search line at the top, the
// column heads, the rows in view (only those are formatted) and the status
// line at the bottom.
#pragma once

#include <string>

struct _win_st;

namespace zw {
struct FileIndex;
}

namespace zw::cli::browse {

class Session;

// The status line's text, without the keys' help.
std::string StatusText(const Session& session);

// Draws into `window` and refreshes it (curses then writes only what changed).
void Draw(_win_st* window, Session& session, const FileIndex& index);

}  // namespace zw::cli::browse
