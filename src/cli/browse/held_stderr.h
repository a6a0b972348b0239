// Messages written to standard error while the screen is drawn would land in
// the middle of it: when standard error is the terminal, they are kept in a
// temporary file meanwhile and written out once the screen is given back.
#pragma once

#include <cstdio>

namespace zw::cli::browse {

class HeldStderr {
 public:
  HeldStderr();
  ~HeldStderr() { Release(); }
  HeldStderr(const HeldStderr&) = delete;
  HeldStderr& operator=(const HeldStderr&) = delete;

  // Standard error is itself again, and what was kept has been written to it.
  void Release();

 private:
  std::FILE* kept_ = nullptr;
  int saved_ = -1;
};

}  // namespace zw::cli::browse
