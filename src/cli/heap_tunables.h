// How the command line's process sets up its heap, shared with the
// benchmarks that measure its commands.
#pragma once

namespace zw::cli {

// Starts the program once more with glibc's heap tunables set (huge pages, a
// large top pad, two arenas), unless the user set tunables of their own;
// returns only when it did not restart. Does nothing where glibc is not used.
void RestartWithHugePageHeap(char** argv);

}  // namespace zw::cli
