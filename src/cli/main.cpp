#include <cstdio>
int main() {
  std::fprintf(stderr, "zanderwyn: not built yet\n");
  return 2;
}
