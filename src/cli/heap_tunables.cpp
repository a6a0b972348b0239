#include "cli/heap_tunables.h"

#include <cstdlib>  // first: it tells whether this is glibc
#if defined(__GLIBC__) && defined(__linux__)
#include <unistd.h>
#endif

namespace zw::cli {

// A million entries are a few hundred MiB of small strings, and on virtual
// machines the first touch of each 4 KiB page is costly. glibc backs its heap
// with huge pages, and grows it 64 MiB at a time, when asked through
// tunables, which it reads only at start: so start once more with them set.
// Two heaps, not one a thread: what a finished build thread freed in a heap
// of its own stayed resident (7 bytes an entry). The user's own tunables are
// left alone, and if the restart fails the program simply goes on.
void RestartWithHugePageHeap(char** argv) {
#if defined(__GLIBC__) && defined(__linux__)
  if (std::getenv("GLIBC_TUNABLES") != nullptr) return;
  if (setenv("GLIBC_TUNABLES",
             "glibc.malloc.hugetlb=1:glibc.malloc.top_pad=67108864:glibc.malloc.arena_max=2",
             0) != 0)
    return;
  execv("/proc/self/exe", argv);
  unsetenv("GLIBC_TUNABLES");
#else
  (void)argv;
#endif
}

}  // namespace zw::cli
